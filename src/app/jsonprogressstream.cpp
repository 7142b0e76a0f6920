#include "app/jsonprogressstream.h"

#include "app/exitcode.h"
#include "app/versioncheckreport.h"
#include "manifest/outsidetext.h"

#include <QCoreApplication>
#include <QIODevice>
#include <QJsonDocument>
#include <QTimer>

#include <cmath>

namespace {

QString outcome(int exitCode)
{
    switch (exitCode) {
    case ExitCode::Done: return QStringLiteral("done");
    case ExitCode::Canceled: return QStringLiteral("canceled");
    case ExitCode::Unknown: return QStringLiteral("unknown");
    case VersionCheckReport::UpdateAvailable: return QStringLiteral("updateAvailable");
    default: break;
    }
    return QStringLiteral("failed");
}

QString level(RunTracker::LineKind kind)
{
    switch (kind) {
    case RunTracker::LineKind::Error: return QStringLiteral("error");
    case RunTracker::LineKind::PerFile: return QStringLiteral("file");
    case RunTracker::LineKind::Info: break;
    }
    return QStringLiteral("info");
}

} // namespace

JsonProgressStream::JsonProgressStream(RunTracker* tracker, QIODevice* out, QObject* parent)
    : QObject(parent)
    , tracker(tracker)
    , out(out)
    , progressTimer(new QTimer(this))
{
    progressTimer->setSingleShot(true);
    connect(progressTimer, &QTimer::timeout, this, &JsonProgressStream::writeProgress);
    connect(tracker, &RunTracker::phaseChanged, this, &JsonProgressStream::onPhaseChanged);
    connect(tracker, &RunTracker::progressChanged, this, &JsonProgressStream::onProgressChanged);
    connect(tracker, &RunTracker::logged, this, &JsonProgressStream::onLogged);
    onPhaseChanged();
}

QByteArray JsonProgressStream::encode(const QString& event, QJsonObject fields)
{
    fields.insert(QStringLiteral("schema"), Schema);
    fields.insert(QStringLiteral("event"), event);
    return QJsonDocument(OutsideText::escaped(fields)).toJson(QJsonDocument::Compact) + '\n';
}

QJsonObject JsonProgressStream::result(int exitCode, qint64 elapsedMs, const QJsonObject& summary)
{
    return { { QStringLiteral("exitCode"), exitCode }, { QStringLiteral("outcome"), outcome(exitCode) },
        { QStringLiteral("seconds"), double(elapsedMs) / 1000.0 }, { QStringLiteral("summary"), summary } };
}

void JsonProgressStream::write(const QString& event, QJsonObject fields)
{
    if (finished)
        return;
    out->write(encode(event, std::move(fields)));
}

void JsonProgressStream::onPhaseChanged()
{
    const RunTracker::Figures& figures = tracker->figures();
    write(QStringLiteral("phase"),
        { { QStringLiteral("phase"), RunTracker::phaseId(figures.phase) },
            { QStringLiteral("filesTotal"), figures.filesTotal } });
    writeProgress();
}

void JsonProgressStream::onProgressChanged()
{
    if (progressTimer->isActive())
        return;
    const qint64 since = lastProgress.elapsed();
    if (since >= ProgressMs)
        writeProgress();
    else
        progressTimer->start(int(ProgressMs - since));
}

void JsonProgressStream::writeProgress()
{
    progressTimer->stop();
    lastProgress.start();
    const RunTracker::Figures& figures = tracker->figures();
    write(QStringLiteral("progress"),
        { { QStringLiteral("phase"), RunTracker::phaseId(figures.phase) },
            { QStringLiteral("fraction"), std::round(figures.fraction * 1000.0) / 1000.0 },
            { QStringLiteral("filesDone"), figures.filesDone },
            { QStringLiteral("filesTotal"), figures.filesTotal },
            { QStringLiteral("downloading"), figures.downloading },
            { QStringLiteral("bytesDone"), qint64(figures.bytesDone) },
            { QStringLiteral("bytesTotal"), qint64(figures.bytesTotal) },
            { QStringLiteral("rate"), qint64(figures.rate) },
            { QStringLiteral("secondsLeft"),
                figures.secondsLeft < 0 ? QJsonValue() : QJsonValue(figures.secondsLeft) },
            { QStringLiteral("paused"), figures.paused } });
}

void JsonProgressStream::onLogged(const QString& line, RunTracker::LineKind kind)
{
    if (kind == RunTracker::LineKind::Error && firstError.isEmpty())
        firstError = line;
    failure.note(line);
    write(QStringLiteral("log"),
        { { QStringLiteral("level"), level(kind) }, { QStringLiteral("line"), line } });
}

void JsonProgressStream::writeError(int exitCode)
{
    // A cancel is no failure, but the window's 1 also ends a bad command line.
    const bool failed = exitCode == ExitCode::Failed || exitCode == ExitCode::Unknown
        || (exitCode == ExitCode::Canceled && !firstError.isEmpty());
    if (!failed)
        return;
    QString cause = failure.cause();
    QString message = failure.sentence();
    if (cause.isEmpty() && exitCode == ExitCode::Unknown) {
        cause = QStringLiteral("noAnswer");
        message = QCoreApplication::translate(
            "ConsoleFrontEnd", "The update server did not answer: the current version is unknown.");
    } else if (cause.isEmpty() && !firstError.isEmpty()) {
        cause = QStringLiteral("error");
        message = firstError;
    } else if (cause.isEmpty()) {
        cause = QStringLiteral("unknown");
    }
    write(QStringLiteral("error"),
        { { QStringLiteral("cause"), cause }, { QStringLiteral("message"), message } });
}

void JsonProgressStream::finish(int exitCode, const QJsonObject& summary)
{
    writeProgress();
    writeError(exitCode);
    write(QStringLiteral("result"), result(exitCode, tracker->elapsedMs(), summary));
    finished = true;
}
