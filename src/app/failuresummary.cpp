#include "app/failuresummary.h"

#include <QLatin1String>

void FailureSummary::clear()
{
    reason.clear();
    causeId.clear();
}

void FailureSummary::note(const QString& logLine)
{
    if (!reason.isEmpty())
        return;
    static const QLatin1String noMirror("No mirror could deliver ");
    if (logLine.startsWith(noMirror)) {
        reason = tr("No mirror could deliver %1.").arg(logLine.mid(noMirror.size()));
        causeId = QStringLiteral("noMirror");
    } else if (logLine.contains(QLatin1String("may be signed for a newer set of release keys"))) {
        reason = tr("This update is signed with newer release keys than this updater knows; it needs a "
                    "bridge release from the publisher.");
        causeId = QStringLiteral("verification");
    } else if (logLine == QLatin1String("Could not verify the product ini file. Aborting")) {
        reason = tr("The signature of the update's file list could not be verified on any mirror.");
        causeId = QStringLiteral("verification");
    } else if (logLine == QLatin1String("rolling back file updates")) {
        reason = tr("A file could not be installed; every change was undone.");
        causeId = QStringLiteral("install");
    }
}

QString FailureSummary::sentence() const
{
    return reason.isEmpty() ? tr("The update could not be completed.") : reason;
}
