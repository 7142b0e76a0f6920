#include "app/progressline.h"

#include <QLocale>
#include <QStringList>

QString ProgressLine::bytes(quint64 count)
{
    return QLocale().formattedDataSize(qint64(count), 1, QLocale::DataSizeSIFormat);
}

QString ProgressLine::duration(qint64 seconds)
{
    const QString minutesAndSeconds
        = QStringLiteral("%1:%2").arg((seconds / 60) % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return minutesAndSeconds;
    return QStringLiteral("%1:%2")
        .arg(seconds / 3600)
        .arg(minutesAndSeconds.rightJustified(5, QLatin1Char('0')));
}

QString ProgressLine::format(const RunTracker::Figures& figures)
{
    QStringList parts { RunTracker::phaseTitle(figures.phase), tr("%1 %").arg(int(figures.fraction * 100)) };
    if (figures.filesTotal > 0)
        parts << tr("%1/%2 files").arg(figures.filesDone).arg(figures.filesTotal);
    if (figures.paused)
        parts << tr("paused");
    if (figures.downloading) {
        parts << tr("%1 of %2").arg(bytes(figures.bytesDone), bytes(figures.bytesTotal))
              << tr("%1/s").arg(bytes(figures.rate));
        if (figures.secondsLeft >= 0)
            parts << tr("%1 left").arg(duration(figures.secondsLeft));
    }
    return parts.join(QStringLiteral("  "));
}
