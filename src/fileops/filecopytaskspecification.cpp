#include "filecopytaskspecification.h"

#include "filecopyfunc.h"

FileCopyTaskSpecification::FileCopyTaskSpecification(RollbackDataList* rollbackList,
    const QString& sourcePath, const QString& targetPath, QObject* parent, double parentProgressRange)
    : SlowFileOpSpecification(QStringLiteral("Could not copy '%1' to '%2'").arg(sourcePath, targetPath),
        rollbackList, sourcePath, targetPath, parent, parentProgressRange)
{ }

ASyncFunc* FileCopyTaskSpecification::createFunction()
{
    return new FileCopyFunc(sourcePath, targetPath);
}
