#include "slowfileopfunc.h"

SlowFileOpFunc::SlowFileOpFunc(const QString& sourcePath, const QString& targetPath)
    : sourcePath(sourcePath)
    , targetPath(targetPath)
{ }
