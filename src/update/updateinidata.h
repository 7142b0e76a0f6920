#ifndef UPDATEINIDATA_H
#define UPDATEINIDATA_H

#include "manifest/installationlayout.h"

#include <QString>

// The session record: group "current" of update.ini, present from the
// preparation of a run until its success, so that the next start can resume
// or clean up an interrupted run.
class UpdateIniData
{
public:
    UpdateIniData() = delete;

    static QString filename(const InstallationLayout& layout);
    // True only for a complete record whose directory exists; stores the
    // values into the non-null pointers then, and touches nothing otherwise.
    static bool get(const InstallationLayout& layout, int* version, QString* type, QString* dir);
    // False when the record could not be written.
    static bool modify(
        const InstallationLayout& layout, int version, const QString& dir, const QString& type);
    static void cleanup(const InstallationLayout& layout);
};

#endif
