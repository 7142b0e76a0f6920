#include "fileunziptaskspecification.h"

#include "fileunzipfunc.h"

FileUnzipTaskSpecification::FileUnzipTaskSpecification(RollbackDataList* rollbackList,
    const QString& sourcePath, const QString& targetPath, QObject* parent, double parentProgressRange,
    qint64 sizeLimit)
    : SlowFileOpSpecification(QStringLiteral("Could not unzip '%1' to '%2'").arg(sourcePath, targetPath),
        rollbackList, sourcePath, targetPath, parent, parentProgressRange)
    , sizeLimit(sizeLimit)
{ }

ASyncFunc* FileUnzipTaskSpecification::createFunction()
{
    return new FileUnzipFunc(sourcePath, targetPath, sizeLimit);
}
