#include "filecopyfunc.h"

#include "fileops/newfile.h"

FileCopyFunc::FileCopyFunc(const QString& sourcePath, const QString& targetPath)
    : SlowFileOpFunc(sourcePath, targetPath)
{ }

bool FileCopyFunc::run()
{
    // No per-file sync: the installation is flushed once when it is complete.
    return NewFile::copy(sourcePath, targetPath, [this](qreal fraction) { Q_EMIT progress(fraction); });
}
