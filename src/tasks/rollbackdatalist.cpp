#include "rollbackdatalist.h"

void RollbackDataList::add(const RollbackData& record)
{
    list.append(record);
}

void RollbackDataList::appendList(const RollbackDataList& other)
{
    list.append(other.list);
}

void RollbackDataList::clear()
{
    list.clear();
}

bool RollbackDataList::rollback(QObject* receiver)
{
    bool result = true;
    while (!list.isEmpty()) {
        const RollbackData record = list.takeLast();
        if (!record.rollback(receiver))
            result = false;
    }
    return result;
}
