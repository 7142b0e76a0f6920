#ifndef FILECOPYTASKSPECIFICATION_H
#define FILECOPYTASKSPECIFICATION_H

#include "tasks/slowfileopspecification.h"

class FileCopyTaskSpecification : public SlowFileOpSpecification
{
    Q_OBJECT
public:
    FileCopyTaskSpecification(RollbackDataList* rollbackList, const QString& sourcePath,
        const QString& targetPath, QObject* parent, double parentProgressRange);

public Q_SLOTS:
    ASyncFunc* createFunction() override;
};

#endif
