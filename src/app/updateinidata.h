#ifndef UPDATEINIDATA_H
#define UPDATEINIDATA_H

#include <QString>

// The session record: group "current" of update.ini, present from the
// preparation of a run until its success, so that the next start can resume
// or clean up an interrupted run.
class UpdateIniData
{
public:
    UpdateIniData() = delete;

    static QString filename();
    // True only for a complete record whose directory exists; stores the
    // values into the non-null pointers then, and touches nothing otherwise.
    static bool get(int* version, QString* type, QString* dir);
    static void modify(int version, const QString& dir, const QString& type);
    static void cleanup();
};

#endif
