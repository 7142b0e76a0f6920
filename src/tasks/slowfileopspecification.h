#ifndef SLOWFILEOPSPECIFICATION_H
#define SLOWFILEOPSPECIFICATION_H

#include "tasks/asynctaskspecification.h"

#include <QString>

class RollbackDataList;

// A worker-thread file operation that creates targetPath from sourcePath.
// The created file is journalled so that a rollback removes it again.
class SlowFileOpSpecification : public ASyncTaskSpecification
{
    Q_OBJECT
public:
    SlowFileOpSpecification(QString failMessage, RollbackDataList* rollbackList, const QString& sourcePath,
        const QString& targetPath, QObject* parent, double parentProgressRange);

    RollbackDataList* rollbackList;
    QString sourcePath;
    QString targetPath;
    QString failMessage;

public Q_SLOTS:
    void runDone(bool ok) override;

protected:
    bool isQuickWork() const override;
};

#endif
