#ifndef UPDATEINIDATA_H
#define UPDATEINIDATA_H

#include "manifest/installationlayout.h"

#include <QString>

#include <functional>

class QSettings;

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

    // Applies `change` to a copy of update.ini beside it (named like the
    // installation's other new files, so that the leftover sweep takes what
    // a kill leaves) and renames the copy over it: a kill at any instant
    // leaves the old or the new file, and no lock file of its own.
    static bool rewrite(const InstallationLayout& layout, const std::function<void(QSettings&)>& change);
};

#endif
