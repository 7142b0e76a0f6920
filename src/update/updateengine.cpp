#include "update/updateengine.h"

#include "fileops/oldcopydirectory.h"
#include "update/installationrecord.h"
#include "update/sessiondirectory.h"
#include "update/updateinidata.h"
#include "verify/cryptwrapper.h"
#include "update/bannerfetcher.h"
#include "update/maintaskspecification.h"
#include "transfer/mirrors.h"
#include "transfer/randomsource.h"
#include "transfer/transferengine.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

UpdateEngine::UpdateEngine(const InstallationLayout& layout, const UpdateSettings& settings, QObject* parent)
    : QObject(parent)
    , state(EngineIdle)
    , mirrors(nullptr)
    , mainTask(nullptr)
    , progressTimer(new QTimer(this))
    , transfers(new TransferEngine(this))
    , bannerFetcher(new BannerFetcher(transfers, this))
    , installation(layout)
    , settings(settings)
{
    connect(progressTimer, &QTimer::timeout, this, &UpdateEngine::onTimer);
    connect(bannerFetcher, &BannerFetcher::bannerFound, this, &UpdateEngine::bannerFound);
    setUpTransfers();
}

void UpdateEngine::setUpTransfers()
{
    const QString problem = settings.problem();
    if (!problem.isEmpty()) {
        // The window connects only after construction: the error that ends
        // the program is delivered from the event loop, before any run.
        QMetaObject::invokeMethod(
            this, [this, problem] { Q_EMIT fatalError(problem); }, Qt::QueuedConnection);
        return;
    }
    settings.applyTo(transfers);
}

void UpdateEngine::setBannerServer(const QString& host, quint16 port)
{
    bannerFetcher->setServer(host, port);
}

bool UpdateEngine::initialize(const UpdateTypeDesc& target)
{
    this->target = target;
    // No update ever runs without the proxy and certificates the user configured.
    if (!settings.problem().isEmpty()) {
        Q_EMIT fatalError(settings.problem());
        return false;
    }
    try {
        crypt_init();
    } catch (const crypt_exception& e) {
        Q_EMIT fatalError(QString::fromLocal8Bit(e.what()));
        return false;
    }

    if (!QFile::exists(installation.mirrorsFile())) {
        Q_EMIT fatalError(
            QStringLiteral("%1 is missing, cannot proceed.").arg(InstallationLayout::mirrorsFileName()));
        return false;
    }

    RandomSource::seed(quint32(QDateTime::currentSecsSinceEpoch()));

    int oldVersion = 0;
    QString oldDir;
    // A record may have been edited by anyone who can write update.ini:
    // only a session directory of our own is ever resumed or emptied. One
    // in another temporary directory than this run's is removed when it
    // notes this installation, and never resumed.
    const bool recorded = UpdateIniData::get(installation, &oldVersion, nullptr, &oldDir);
    const bool resumable = recorded && SessionDirectory::isOwn(oldDir);
    const bool removable
        = resumable || (recorded && SessionDirectory::belongsTo(oldDir, installation.root()));
    if (!removable) {
        oldDir.clear();
    } else if (resumable && oldVersion == target.version) {
        Q_EMIT message(QStringLiteral("Previous update session for v. %1 found").arg(oldVersion));
    } else {
        Q_EMIT message(
            QStringLiteral("Cleanup previous session (v. %1, %2) files...").arg(oldVersion).arg(oldDir));
        if (SessionDirectory::remove(oldDir))
            Q_EMIT message(QStringLiteral("Ok"));
        else
            Q_EMIT message(QStringLiteral("Failed to remove directory"));
        oldDir.clear();
        UpdateIniData::cleanup(installation);
    }

    if (oldDir.isEmpty()) {
        const QString systemTemp = QDir::tempPath();
        if (systemTemp.isEmpty()) {
            Q_EMIT fatalConfigError(QStringLiteral("Unable to get temp directory."));
            return false;
        }
        oldDir = SessionDirectory::create(systemTemp, installation.root(), [&](const QString& candidate) {
            sessionRecorded
                = UpdateIniData::modify(installation, target.version, candidate, target.updateType);
        });
        if (oldDir.isEmpty()) {
            Q_EMIT fatalConfigError(QStringLiteral("Unable to create temp directory."));
            return false;
        }
    } else {
        sessionRecorded = UpdateIniData::modify(installation, target.version, oldDir, target.updateType);
    }
    installation.setTempDir(oldDir);

    if (!sessionRecorded) {
        Q_EMIT message(QStringLiteral("Could not record the update session in %1; its temporary files go "
                                      "at the end of this run")
                           .arg(UpdateIniData::filename(installation)));
    }

    // Tasks of an earlier run may still hold the old registry until they
    // are disposed of.
    if (mirrors)
        mirrors->deleteLater();
    mirrors = new Mirrors(this);
    connect(mirrors, &Mirrors::fatalError, this, &UpdateEngine::fatalError);
    connect(mirrors, &Mirrors::message, this, &UpdateEngine::message);

    const bool ok = target.channel == Alpha
        ? mirrors->initAlpha(installation.settingsFile(), target.version)
        : mirrors->initDefault(installation.mirrorsFile(), target.version);
    if (!ok)
        return false;

    state = EngineInitialized;
    return true;
}

bool UpdateEngine::startUpdate()
{
    mainTask = new MainTaskSpecification(DownloadContext { transfers, mirrors, installation },
        target.updateType, target.version, settings.downloadConcurrency, this, 1.0);
    connect(mainTask, &TaskSpecification::finished, this, &UpdateEngine::onTaskFinished);
    connect(mainTask, &TaskSpecification::canceled, this, &UpdateEngine::onTaskCanceled);
    connect(mainTask, &TaskSpecification::error, this, &UpdateEngine::error);
    connect(mainTask, &TaskSpecification::updateProgress, this, &UpdateEngine::updateProgress);
    connect(mainTask, &TaskSpecification::message, this, &UpdateEngine::message);
    connect(mainTask, &MainTaskSpecification::downloadsEnded, this, &UpdateEngine::downloadsEnded);
    mainTask->setFullCheck(fullCheck);
    lastSummary = RunSummary();
    runTime.start();
    state = EngineRunning;
    transfers->setPaused(false);
    progressTimer->start(1000);
    mainTask->execute();
    return true;
}

void UpdateEngine::setPaused(bool paused)
{
    if (paused == transfers->isPaused() || (paused && state != EngineRunning))
        return;
    Q_EMIT message(paused ? QStringLiteral("Downloads paused") : QStringLiteral("Downloads resumed"));
    transfers->setPaused(paused);
}

bool UpdateEngine::isPaused() const
{
    return transfers->isPaused();
}

qint64 UpdateEngine::maxDownloadRate() const
{
    return transfers->maxRate();
}

bool UpdateEngine::busy() const
{
    return state == EngineInitialized || state == EngineRunning;
}

void UpdateEngine::cancelUpdate()
{
    if (state == EngineRunning && mainTask)
        mainTask->userCanceled();
}

void UpdateEngine::onTimer()
{
    if (state != EngineRunning || !mainTask)
        return;
    quint64 done = 0;
    quint64 total = 0;
    quint64 speed = 0;
    bool downloading = false;
    mainTask->timeTick(done, total, speed, downloading);
    // A time-out inside the tick may have ended the run, whose end already
    // reported the final figures.
    if (state == EngineRunning)
        Q_EMIT downloadProgress(done, total, speed, downloading);
}

void UpdateEngine::releaseMainTask()
{
    if (!mainTask)
        return;
    lastSummary = mainTask->summary();
    lastSummary.elapsedMs = runTime.elapsed();
    disconnect(mainTask, nullptr, this, nullptr);
    mainTask->deleteLater();
    mainTask = nullptr;
}

void UpdateEngine::onTaskFinished()
{
    progressTimer->stop();
    transfers->setPaused(false);
    cleanup();
    // What a later offer is measured against: an older one is a downgrade.
    const InstallationRecord installed { target.updateType, target.version, mainTask->releasePublished() };
    if (!InstallationRecord::write(installation, installed))
        Q_EMIT message(QStringLiteral("Warning: could not record the installed version in %1")
                           .arg(UpdateIniData::filename(installation)));
    state = EngineFinished;
    Q_EMIT message(QStringLiteral("Update successfully finished"));
    releaseMainTask();
    Q_EMIT downloadProgress(0, 0, 0, false);
    Q_EMIT updateFinished();
}

void UpdateEngine::onTaskCanceled()
{
    progressTimer->stop();
    transfers->setPaused(false);
    state = EngineCanceled;
    if (mainTask && mainTask->state == UserCanceled)
        Q_EMIT message(QStringLiteral("User aborted update"));
    // Without a record no later run can resume from it.
    if (!sessionRecorded)
        removeSessionDirectory();
    releaseMainTask();
    Q_EMIT downloadProgress(0, 0, 0, false);
    Q_EMIT updateCanceled();
}

void UpdateEngine::reset()
{
    state = EngineIdle;
    releaseMainTask();
}

void UpdateEngine::cleanup()
{
    Q_EMIT message(QStringLiteral("Remove temporary files..."));
    int version = 0;
    QString dir;
    if (UpdateIniData::get(installation, &version, nullptr, &dir)) {
        if (SessionDirectory::isOwn(dir) || SessionDirectory::belongsTo(dir, installation.root()))
            SessionDirectory::remove(dir);
        UpdateIniData::cleanup(installation);
    }
    // This run's directory also when the record did not name it.
    removeSessionDirectory();
    // And those of earlier runs of this installation that no record names
    // any more: one killed while update.ini could not be written. Only one
    // run of an installation is alive at a time, and it is this one.
    for (const QString& orphan : SessionDirectory::ofInstallation(QDir::tempPath(), installation.root()))
        SessionDirectory::remove(orphan);
    Q_EMIT message(QStringLiteral("Temporary files removed."));
}

void UpdateEngine::removeSessionDirectory()
{
    const QString dir = installation.tempDir();
    if (!dir.isEmpty() && SessionDirectory::isOwn(dir))
        SessionDirectory::remove(dir);
}

void UpdateEngine::cleanupDirectory(const QString& path)
{
    SessionDirectory::empty(path);
}

void UpdateEngine::removeOldFiles(const QString& dir)
{
    // The updater makes "old" itself: one that is a link points at files
    // that are not its own.
    const QFileInfo info(dir);
    if (info.fileName() == InstallationLayout::oldDirName() && !OldCopyDirectory::isReal(info.path()))
        return;
    const QDir directory(dir);
    for (const QString& name : InstallationLayout::specialFileNames())
        QFile::remove(directory.absoluteFilePath(InstallationLayout::oldCopyPrefix() + name));
}

void UpdateEngine::getBanner()
{
    bannerFetcher->fetch();
}
