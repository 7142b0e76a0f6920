#include "fastfileoptaskspecification.h"

#include "tasks/rollbackdatalist.h"

FastFileOpTaskSpecification::FastFileOpTaskSpecification(
    const QString& path, RollbackDataList* rollbackList, QObject* parent, double parentProgressRange)
    : TaskSpecification(parent, parentProgressRange)
    , rollbackList(rollbackList)
    , path(path)
{ }

void FastFileOpTaskSpecification::addRollbackOp(const RollbackData& record)
{
    if (rollbackList)
        rollbackList->add(record);
}

void FastFileOpTaskSpecification::execute()
{
    state = Running;
    if (doOp())
        finish();
    else
        errorCancel();
}
