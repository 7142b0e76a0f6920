#ifndef VERSIONCHECKREPORT_H
#define VERSIONCHECKREPORT_H

#include "manifest/updatetypedesc.h"
#include "update/installationrecord.h"
#include "update/offerchoice.h"

#include <QCoreApplication>
#include <QJsonObject>
#include <QString>
#include <QStringList>

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
    // `interruptedVersion`: the version of a run that began and has not
    // finished (its session record is still there), 0 for none; the
    // installed files may be partly that version's then. `expired`: the
    // channel record that vouches for the offer has expired.
    VersionCheckReport(const InstallationRecord& installed, const UpdateTypeDesc& offer,
        const OfferChoice::Offer& choice, int interruptedVersion = 0, bool expired = false);

    Code code() const { return result; }
    // Lines for the terminal, each ending in a line break.
    QString text() const { return lines; }
    // The fields of the JSON stream's "check" event.
    QJsonObject json() const { return fields; }

private:
    Code result = Unknown;
    QString lines;
    QJsonObject fields;
};

#endif
