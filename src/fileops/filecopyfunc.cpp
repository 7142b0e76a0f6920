#include "filecopyfunc.h"

#include <QFile>

FileCopyFunc::FileCopyFunc(const QString& sourcePath, const QString& targetPath)
    : SlowFileOpFunc(sourcePath, targetPath)
{
}

bool FileCopyFunc::run()
{
    // QFile::copy streams into a temporary file beside the target and
    // renames it into place only when complete, so a failed copy leaves no
    // partial target.
    return QFile::copy(sourcePath, targetPath);
}
