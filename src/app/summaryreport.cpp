#include "app/summaryreport.h"

#include "app/progressline.h"

QString SummaryReport::text(const RunSummary& summary, int version, bool fullCheck)
{
    QString text = tr("Voxmeadow 3 version %1 is installed.").arg(version) + QLatin1Char('\n');
    if (fullCheck)
        text += tr("Files checked: %1, repaired: %2.").arg(summary.filesChecked).arg(summary.filesChanged)
            + QLatin1Char('\n');
    text += tr("Files fetched whole: %1 (%2), as patches: %3 (%4), removed: %5; time: %6.")
                .arg(summary.filesFetched)
                .arg(ProgressLine::bytes(quint64(summary.bytesFetched)))
                .arg(summary.filesPatched)
                .arg(ProgressLine::bytes(quint64(summary.patchBytes)))
                .arg(summary.filesRemoved)
                .arg(ProgressLine::duration((summary.elapsedMs + 500) / 1000))
        + QLatin1Char('\n');
    if (summary.patchFallbacks > 0)
        text
            += tr("Patches given up for the whole file: %1.").arg(summary.patchFallbacks) + QLatin1Char('\n');
    return text;
}

QJsonObject SummaryReport::json(const RunSummary& summary, int version)
{
    return { { QStringLiteral("version"), version }, { QStringLiteral("filesChecked"), summary.filesChecked },
        { QStringLiteral("filesChanged"), summary.filesChanged },
        { QStringLiteral("filesFetched"), summary.filesFetched },
        { QStringLiteral("bytesFetched"), summary.bytesFetched },
        { QStringLiteral("filesPatched"), summary.filesPatched },
        { QStringLiteral("patchBytes"), summary.patchBytes },
        { QStringLiteral("patchFallbacks"), summary.patchFallbacks },
        { QStringLiteral("filesRemoved"), summary.filesRemoved },
        { QStringLiteral("elapsedMs"), summary.elapsedMs } };
}
