#include "app/runtracker.h"

#include "update/maintaskspecification.h"
#include "update/updateengine.h"

#include <QLatin1String>

namespace {

const QLatin1String InstallPrefix("add/replace ");
const QLatin1String DownloadPrefix("Downloading ");
const QLatin1String FinishedSuffix(" finished");
const QLatin1String PatchedInfix(" came as a patch: ");

} // namespace

RunTracker::RunTracker(QObject* parent)
    : QObject(parent)
{
    clock.start();
}

void RunTracker::follow(UpdateEngine* engine)
{
    this->engine = engine;
    connect(engine, &UpdateEngine::message, this, &RunTracker::onMessage);
    connect(engine, &UpdateEngine::error, this, &RunTracker::addError);
    connect(engine, &UpdateEngine::fatalError, this, &RunTracker::addError);
    connect(engine, &UpdateEngine::fatalConfigError, this, &RunTracker::addError);
    connect(engine, &UpdateEngine::downloadProgress, this, &RunTracker::onDownloadProgress);
    connect(engine, &UpdateEngine::downloadsEnded, this, &RunTracker::onDownloadsEnded);
    connect(engine, &UpdateEngine::updateProgress, this, &RunTracker::onProgress);
}

QString RunTracker::phaseId(Phase phase)
{
    switch (phase) {
    case Phase::Prepare: return QStringLiteral("prepare");
    case Phase::Check: return QStringLiteral("check");
    case Phase::Download: return QStringLiteral("download");
    case Phase::Install: return QStringLiteral("install");
    case Phase::Remove: return QStringLiteral("remove");
    case Phase::Cleanup: return QStringLiteral("cleanup");
    case Phase::Rollback: break;
    }
    return QStringLiteral("rollback");
}

QString RunTracker::phaseTitle(Phase phase)
{
    switch (phase) {
    case Phase::Prepare: return tr("Preparing");
    case Phase::Check: return tr("Checking");
    case Phase::Download: return tr("Downloading");
    case Phase::Install: return tr("Installing");
    case Phase::Remove: return tr("Removing old files");
    case Phase::Cleanup: return tr("Cleaning up");
    case Phase::Rollback: break;
    }
    return tr("Undoing the changes");
}

void RunTracker::addLine(const QString& line)
{
    Q_EMIT logged(line, LineKind::Info);
}

void RunTracker::addError(const QString& text)
{
    Q_EMIT logged(text, LineKind::Error);
}

void RunTracker::enter(Phase phase, qsizetype filesTotal)
{
    current.phase = phase;
    // Transfer figures are the last step's until a tick of this one says otherwise.
    current.downloading = false;
    current.rate = 0;
    current.secondsLeft = -1;
    current.filesDone = 0;
    current.filesTotal = int(filesTotal);
    Q_EMIT phaseChanged();
}

void RunTracker::onMessage(const QString& line)
{
    const FileSpecifications* lists = engine->mainTask ? &engine->mainTask->specifications() : nullptr;
    // The step a line begins comes first: the line belongs to it.
    if (line == QLatin1String("Starting update process")) {
        enter(Phase::Check);
    } else if (line == QLatin1String("Downloading files")) {
        enter(Phase::Download, lists ? lists->downloadCount() : 0);
    } else if (line == QLatin1String("Starting file updates")) {
        enter(Phase::Install, lists ? lists->replaceList.size() : 0);
    } else if (line == QLatin1String("rolling back file updates")) {
        enter(Phase::Rollback);
    } else if (line == QLatin1String("Starting deleting files")) {
        // Deletions log no line per file: nothing to count.
        enter(Phase::Remove);
    } else if (line == QLatin1String("Remove temporary files...")) {
        enter(Phase::Cleanup);
    } else if (current.filesDone < current.filesTotal
        && ((current.phase == Phase::Download && line.startsWith(DownloadPrefix)
                && line.endsWith(FinishedSuffix))
            || (current.phase == Phase::Install && line.startsWith(InstallPrefix)))) {
        ++current.filesDone;
        Q_EMIT progressChanged();
    }
    const bool perFile = line.startsWith(InstallPrefix)
        || (line.startsWith(DownloadPrefix) && line != QLatin1String("Downloading files"))
        || line.contains(PatchedInfix);
    Q_EMIT logged(line, perFile ? LineKind::PerFile : LineKind::Info);
}

void RunTracker::onDownloadProgress(quint64 done, quint64 total, quint64 speed, bool downloading)
{
    current.downloading = downloading;
    current.paused = engine->isPaused();
    if (!downloading) {
        // Figures of a pause start over when it ends.
        remaining.clear();
        current.rate = 0;
        current.secondsLeft = -1;
        Q_EMIT progressChanged();
        return;
    }
    current.bytesDone = done;
    current.bytesTotal = total;
    current.rate = speed;
    remaining.addSample(done);
    current.secondsLeft = remaining.secondsUntil(total);
    Q_EMIT progressChanged();
}

void RunTracker::onDownloadsEnded(quint64 bytes)
{
    current.downloading = false;
    current.bytesDone = bytes;
    current.bytesTotal = bytes;
    current.rate = 0;
    current.secondsLeft = -1;
    remaining.clear();
    Q_EMIT progressChanged();
}

void RunTracker::onProgress(qreal fraction)
{
    current.fraction = qBound(0.0, double(fraction), 1.0);
    Q_EMIT progressChanged();
}
