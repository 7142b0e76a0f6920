#include "app/versioncheckreport.h"

VersionCheckReport::VersionCheckReport(
    const InstallationRecord& installed, const UpdateTypeDesc& offer, const OfferChoice::Offer& choice)
{
    lines = installed.isValid()
        ? tr("Installed: %1 version %2").arg(installed.updateType).arg(installed.version)
        : tr("Installed: not known (no update has finished here since the updater began to record it)");
    lines += QLatin1Char('\n');
    if (offer.version > 0) {
        lines += tr("Offered: %1 version %2").arg(offer.updateType).arg(offer.version);
        if (!offer.versionLabel.isEmpty())
            lines += QStringLiteral(" (%1)").arg(offer.versionLabel);
    } else {
        lines += tr("Offered: not known (the update server did not answer)");
    }
    lines += QLatin1Char('\n');
    if (!choice.heldBackNote().isEmpty())
        lines += choice.heldBackNote() + QLatin1Char('\n');
    if (!choice.freshnessNote.isEmpty())
        lines += choice.freshnessNote + QLatin1Char('\n');
    if (offer.version <= 0 || !installed.isValid() || !choice.confirmed)
        result = Unknown;
    else if (installed.updateType != offer.updateType || offer.version > installed.version)
        result = UpdateAvailable;
    else
        result = UpToDate;
    switch (result) {
    case UpToDate: lines += tr("Result: up to date") + QLatin1Char('\n'); break;
    case UpdateAvailable: lines += tr("Result: an update is available") + QLatin1Char('\n'); break;
    case Unknown: lines += tr("Result: could not tell") + QLatin1Char('\n'); break;
    }
}
