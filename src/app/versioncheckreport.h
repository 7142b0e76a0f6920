#ifndef VERSIONCHECKREPORT_H
#define VERSIONCHECKREPORT_H

#include "manifest/updatetypedesc.h"
#include "update/installationrecord.h"
#include "update/offerchoice.h"

#include <QCoreApplication>
#include <QString>

// What `update --check` says: the installed version, as the installation
// record keeps it, beside the offered one, and an exit code for scripts.
// Nothing is changed. "Up to date" is said only where the offer is
// confirmed (a current signed channel record names it, or the version was
// named); otherwise the code is "could not tell", with the reason.
class VersionCheckReport
{
    Q_DECLARE_TR_FUNCTIONS(VersionCheckReport)

public:
    // Apart from the run's codes: "available" must not read as "cancelled"
    // (1) or "failed" (2) to a script.
    enum Code { UpToDate = 0, Unknown = 3, UpdateAvailable = 100 };

    // `offer.version` 0: no version could be learned. `choice`: how it was
    // chosen (whether it is confirmed, why not, whether it is held back).
    VersionCheckReport(
        const InstallationRecord& installed, const UpdateTypeDesc& offer, const OfferChoice::Offer& choice);

    Code code() const { return result; }
    // Lines for the terminal, each ending in a line break.
    QString text() const { return lines; }

private:
    Code result = Unknown;
    QString lines;
};

#endif
