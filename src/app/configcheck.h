#ifndef CONFIGCHECK_H
#define CONFIGCHECK_H

#include "manifest/installationlayout.h"
#include "update/updatesettings.h"

#include <QString>
#include <QStringList>

// update.ini and mirrors.ini, checked before anything goes out over the
// network: a run with a problem in either ends before it begins, and
// `update --check-config` lists them all.
class ConfigCheck
{
public:
    ConfigCheck() = delete;

    // The one problem a run reports, update.ini's before mirrors.ini's;
    // empty when both can be used.
    static QString firstProblem(const UpdateSettings& settings, const InstallationLayout& layout);
    // Every problem of both files, each beginning with its file's name.
    static QStringList problems(const UpdateSettings& settings, const InstallationLayout& layout);
};

#endif
