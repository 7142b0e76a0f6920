#ifndef FILEUNZIPTASKSPECIFICATION_H
#define FILEUNZIPTASKSPECIFICATION_H

#include "tasks/slowfileopspecification.h"

class FileUnzipTaskSpecification : public SlowFileOpSpecification
{
    Q_OBJECT
public:
    FileUnzipTaskSpecification(RollbackDataList* rollbackList, const QString& sourcePath,
        const QString& targetPath, QObject* parent, double parentProgressRange);

public Q_SLOTS:
    ASyncFunc* createFunction() override;
};

#endif
