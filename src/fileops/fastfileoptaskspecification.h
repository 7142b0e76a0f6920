#ifndef FASTFILEOPTASKSPECIFICATION_H
#define FASTFILEOPTASKSPECIFICATION_H

#include "tasks/rollbackdata.h"
#include "tasks/taskspecification.h"

#include <QString>

class RollbackDataList;

// A file-system change quick enough to run on the GUI thread: the whole work
// happens inside execute(), which ends the task before it returns.
class FastFileOpTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    FastFileOpTaskSpecification(
        const QString& path, RollbackDataList* rollbackList, QObject* parent, double parentProgressRange);

    void addRollbackOp(const RollbackData& record);

    // Not owned; null means nothing is recorded.
    RollbackDataList* rollbackList;
    QString path;

public Q_SLOTS:
    void execute() override;
    virtual bool doOp() = 0;
};

#endif
