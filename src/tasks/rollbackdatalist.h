#ifndef ROLLBACKDATALIST_H
#define ROLLBACKDATALIST_H

#include "tasks/rollbackdata.h"

#include <QByteArray>
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
    void reserve(qsizetype count) { places.reserve(count); }
    // Undoes and drops every record; true when every undo succeeded.
    bool rollback(QObject* receiver);

    qsizetype size() const { return places.size(); }
    bool isEmpty() const { return places.isEmpty(); }
    RollbackData at(qsizetype index) const;
    // Copies of the records, oldest first.
    QList<RollbackData> records() const;

private:
    // Where a record starts.
    struct Place
    {
        quint32 block;
        quint32 offset;
    };

    // The records one after another in blocks of bytes: the operation, then
    // the path and the previous path, each as the length it shares with the
    // block's first path (two bytes) and the rest, ended by a zero byte,
    // which no path holds. A record of its own would cost two allocations
    // and three times the room for each file an update installs, scattered
    // through the heap.
    QList<QByteArray> blocks;
    QList<Place> places;
};

#endif
