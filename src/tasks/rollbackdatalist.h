#ifndef ROLLBACKDATALIST_H
#define ROLLBACKDATALIST_H

#include "tasks/rollbackdata.h"

#include <QList>

// Journal of the changes made while installing, oldest first; undone newest
// first so that a moved-aside file returns only after its replacement is gone.
class RollbackDataList
{
public:
    RollbackDataList() = default;

    void add(const RollbackData& record);
    void appendList(const RollbackDataList& other);
    void clear();
    // Makes room for `count` records in all, so that a long journal does not
    // grow into twice the room it needs.
    void reserve(qsizetype count) { list.reserve(count); }
    // Undoes and drops every record; true when every undo succeeded.
    bool rollback(QObject* receiver);

    const QList<RollbackData>& records() const { return list; }
    bool isEmpty() const { return list.isEmpty(); }

private:
    QList<RollbackData> list;
};

#endif
