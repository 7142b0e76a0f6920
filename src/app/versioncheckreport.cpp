#include "app/versioncheckreport.h"

#include "manifest/outsidetext.h"

#include <QJsonArray>

VersionCheckReport::VersionCheckReport(const InstallationRecord& installed, const UpdateTypeDesc& offer,
    const OfferChoice::Offer& choice, int interruptedVersion, bool expired)
{
    QStringList notes;
    QString unknownWhy;
    lines = installed.isValid()
        ? tr("Installed: %1 version %2").arg(installed.updateType).arg(installed.version)
        : tr("Installed: not known (no update has finished here since the updater began to record it)");
    lines += QLatin1Char('\n');
    if (offer.version > 0) {
        lines += tr("Offered: %1 version %2").arg(offer.updateType).arg(offer.version);
        if (!offer.versionLabel.isEmpty())
            // A line break in the server's label would start a line of its own.
            lines += QStringLiteral(" (%1)").arg(
                OutsideText::escaped(offer.versionLabel, OutsideText::EscapeBreaks));
    } else {
        lines += tr("Offered: not known (the update server did not answer)");
    }
    lines += QLatin1Char('\n');
    if (!choice.heldBackNote().isEmpty())
        notes << choice.heldBackNote();
    if (!choice.freshnessNote.isEmpty())
        notes << choice.freshnessNote;
    if (interruptedVersion > 0) {
        // The record of the installed version is written only when a run
        // ends well: until then the files may be partly the new version's.
        notes << tr("An update to version %1 began and has not finished (it was stopped, or is running "
                    "now): the installation is not yet a whole version; the next run completes it.")
                     .arg(interruptedVersion);
        result = UpdateAvailable;
    } else if (offer.version <= 0 || !installed.isValid()) {
        result = Unknown;
    } else if (!choice.confirmed) {
        // Only a current signed record, or the person's own choice, can say
        // that nothing newer exists.
        result = Unknown;
        unknownWhy = expired ? tr("Result: could not tell (the channel record has expired)") : QString();
    } else if (installed.updateType != offer.updateType || offer.version > installed.version) {
        result = UpdateAvailable;
    } else {
        result = UpToDate;
    }
    for (const QString& note : std::as_const(notes))
        lines += note + QLatin1Char('\n');
    QString state;
    switch (result) {
    case UpToDate:
        lines += tr("Result: up to date") + QLatin1Char('\n');
        state = QStringLiteral("upToDate");
        break;
    case UpdateAvailable:
        lines += tr("Result: an update is available") + QLatin1Char('\n');
        state = QStringLiteral("updateAvailable");
        break;
    case Unknown:
        lines += (unknownWhy.isEmpty() ? tr("Result: could not tell") : unknownWhy) + QLatin1Char('\n');
        state = QStringLiteral("unknown");
        break;
    }
    fields = { { QStringLiteral("state"), state },
        { QStringLiteral("installedType"), installed.isValid() ? installed.updateType : QString() },
        { QStringLiteral("installedVersion"), installed.isValid() ? installed.version : 0 },
        { QStringLiteral("offeredType"), offer.version > 0 ? offer.updateType : QString() },
        { QStringLiteral("offeredVersion"), qMax(0, offer.version) },
        { QStringLiteral("offeredLabel"), offer.version > 0 ? offer.versionLabel : QString() },
        { QStringLiteral("interruptedVersion"), qMax(0, interruptedVersion) },
        { QStringLiteral("channelRecordExpired"), expired },
        { QStringLiteral("confirmed"), choice.confirmed },
        { QStringLiteral("heldBack"), choice.heldBackJson() },
        { QStringLiteral("notes"), QJsonArray::fromStringList(notes) } };
}
