#include "app/runloglines.h"

#include "app/exitcode.h"

#include "buildconfig.h"

#include <QStringList>

namespace {

// The first eight bytes in hexadecimal tell the keys apart.
QString fingerprints(const QList<QByteArray>& keys)
{
    QStringList prints;
    for (const QByteArray& key : keys)
        prints.append(QString::fromLatin1(key.left(8).toHex()));
    return prints.isEmpty() ? QStringLiteral("none") : prints.join(QLatin1Char(' '));
}

QString channelName(UpdateChannel channel)
{
    switch (channel) {
    case Stable: return QStringLiteral("Stable");
    case Beta: return QStringLiteral("Beta");
    case Alpha: break;
    }
    return QStringLiteral("Alpha");
}

} // namespace

QString RunLogLines::program(const ReleaseTrust& trust)
{
    QString line = QStringLiteral("Voxmeadow 3 update %1; release keys: %2; signatures a release needs: %3; "
                                  "revoked: %4; releases without a manifest: %5; update server: %6")
                       .arg(QStringLiteral(VOXMEADOW_VERSION), fingerprints(trust.keys))
                       .arg(trust.keys.isEmpty() ? 0 : trust.threshold)
                       .arg(fingerprints(trust.revoked),
                           trust.legacyBelow > 0 ? QStringLiteral("below %1").arg(trust.legacyBelow)
                                                 : QStringLiteral("none"),
                           QStringLiteral(VOXMEADOW_UPDATE_HOST));
    if constexpr (VOXMEADOW_DEMO_KEYS != 0)
        line += QStringLiteral("; built with the public demo keys");
    return line;
}

QString RunLogLines::offer(
    const InstallationRecord& installed, const UpdateTypeDesc& offered, const QString& decidedBy)
{
    QString before = QStringLiteral("none recorded");
    if (installed.isValid())
        before = installed.updateType == offered.updateType
            ? QString::number(installed.version)
            : QStringLiteral("%1 of %2").arg(installed.version).arg(installed.updateType);
    const QString label
        = offered.versionLabel.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(offered.versionLabel);
    return QStringLiteral(
        "Type %1; installed version: %2; offered version: %3%4 on the %5 channel, decided by %6")
        .arg(offered.updateType, before)
        .arg(offered.version)
        .arg(label, channelName(offered.channel), decidedBy);
}

void RunLogLines::note(const QString& line, RunTracker::LineKind kind)
{
    // A cause the engine logs as a plain line comes before the errors that follow from it.
    const bool cause = line.startsWith(QLatin1String("No mirror could deliver "))
        || line == QLatin1String("Could not verify the product ini file. Aborting");
    if (cause && firstCause.isEmpty())
        firstCause = line;
    if (kind == RunTracker::LineKind::Error && firstError.isEmpty())
        firstError = line;
    if (line == QLatin1String("User aborted update"))
        userCancel = true;
}

QString RunLogLines::outcome(const End& end) const
{
    const QString reason = firstCause.isEmpty() ? firstError : firstCause;
    QString text;
    if (end.finished && end.summary.filesChanged == 0 && end.summary.filesRemoved == 0)
        text = QStringLiteral("up to date at version %1").arg(end.version);
    else if (end.finished)
        text = QStringLiteral("installed version %1").arg(end.version);
    else if (!end.declined.isEmpty())
        text = QStringLiteral("up to date: the offered version %1 is older than the installed one")
                   .arg(end.version);
    else if (end.exitCode == ExitCode::Unknown)
        text = QStringLiteral("failed: the update server did not answer");
    // A run undone without a cause, or ended by a signal, was cancelled.
    else if (userCancel || (reason.isEmpty() && (end.undone || end.exitCode == ExitCode::Canceled)))
        text = QStringLiteral("cancelled");
    else if (end.undone || end.exitCode != ExitCode::Done)
        text = QStringLiteral("failed: %1")
                   .arg(reason.isEmpty() ? QStringLiteral("see the lines above") : reason);
    else
        text = QStringLiteral("no update ran");
    return QStringLiteral("Outcome: %1 (exit code %2)").arg(text).arg(end.exitCode);
}

QString RunLogLines::summary(const End& end)
{
    if (!end.finished && !end.undone)
        return QString();
    const RunSummary& s = end.summary;
    // An undone run changed nothing: its figures are what it had found to do.
    const QString figures = end.finished
        ? QStringLiteral(
            "files checked %1, changed %2, fetched whole %3 (%4 bytes), as patches %5 (%6 bytes), "
            "removed %7")
        : QStringLiteral("nothing changed; files checked %1, to change %2, to fetch whole %3 (%4 bytes), as "
                         "patches %5 (%6 bytes), to remove %7");
    return QStringLiteral("Summary: %1; %2 s")
        .arg(figures.arg(s.filesChecked)
                 .arg(s.filesChanged)
                 .arg(s.filesFetched)
                 .arg(s.bytesFetched)
                 .arg(s.filesPatched)
                 .arg(s.patchBytes)
                 .arg(s.filesRemoved))
        .arg(QString::number(double(s.elapsedMs) / 1000.0, 'f', 1));
}
