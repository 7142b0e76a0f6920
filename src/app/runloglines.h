#ifndef RUNLOGLINES_H
#define RUNLOGLINES_H

#include "app/runtracker.h"
#include "manifest/updatetypedesc.h"
#include "update/installationrecord.h"
#include "update/runsummary.h"
#include "verify/releasetrust.h"

#include <QString>

// The lines that open and close a run in update.log, so that the log alone
// answers a support request's first questions: which program, which keys,
// which installation, which offer and who made it, and how the run ended.
// They are in English whatever the language of the window.
class RunLogLines
{
public:
    // How a run ended, as the front end saw it.
    struct End
    {
        int exitCode = 0;
        // The update ran to its end, or was undone.
        bool finished = false;
        bool undone = false;
        // The installed version, or the one the run was to install.
        int version = 0;
        // Why an offer was not installed; empty when it was to be.
        QString declined;
        RunSummary summary;
    };

    // What `update --version` says, on one line, with the keys' fingerprints.
    static QString program(const ReleaseTrust& trust);
    // The type, the installed and the offered version, and `decidedBy`.
    static QString offer(
        const InstallationRecord& installed, const UpdateTypeDesc& offered, const QString& decidedBy);

    // Takes the run's log lines: the first error is the reason of a failure.
    void note(const QString& line, RunTracker::LineKind kind);
    // "Outcome: ..."
    QString outcome(const End& end) const;
    // "Summary: ...", empty when no update ran.
    static QString summary(const End& end);

private:
    QString firstCause;
    QString firstError;
    bool userCancel = false;
};

#endif
