#include "app/versioncheckreport.h"

#include "manifest/outsidetext.h"

VersionCheckReport::VersionCheckReport(
    const InstallationRecord& installed, const UpdateTypeDesc& offer, const QString& freshness)
{
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
    if (!freshness.isEmpty())
        lines += freshness + QLatin1Char('\n');
    if (offer.version <= 0 || !installed.isValid())
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
