#ifndef FILEUNZIPTASKSPECIFICATION_H
#define FILEUNZIPTASKSPECIFICATION_H

#include "tasks/slowfileopspecification.h"

class FileUnzipTaskSpecification : public SlowFileOpSpecification
{
    Q_OBJECT
public:
    // A file that unpacks to more than sizeLimit bytes fails
    // (FileUnzipFunc::NoLimit: none).
    FileUnzipTaskSpecification(RollbackDataList* rollbackList, const QString& sourcePath,
        const QString& targetPath, QObject* parent, double parentProgressRange, qint64 sizeLimit = -1);

public Q_SLOTS:
    ASyncFunc* createFunction() override;

private:
    const qint64 sizeLimit;
};

#endif
