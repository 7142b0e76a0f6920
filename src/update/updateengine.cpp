#include "update/updateengine.h"

#include "update/sessiondirectory.h"
#include "update/updateinidata.h"
#include "verify/cryptwrapper.h"
#include "update/maintaskspecification.h"
#include "transfer/mirrors.h"
#include "transfer/randomsource.h"
#include "serverquery/banner.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>
#include <QUrl>

UpdateEngine::UpdateEngine(const InstallationLayout& layout, const UpdateSettings& settings,
                           QObject* parent)
    : QObject(parent)
    , state(EngineIdle)
    , mirrors(nullptr)
    , mainTask(nullptr)
    , progressTimer(new QTimer(this))
    , networkManager(new QNetworkAccessManager(this))
    , bannerReply(nullptr)
    , installation(layout)
    , settings(settings)
    , bannerPort(Banner::DefaultPort)
{
    connect(progressTimer, &QTimer::timeout, this, &UpdateEngine::onTimer);
    // A redirect is a mirror failure, never something to follow.
    networkManager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    setUpProxy();
}

void UpdateEngine::setUpProxy()
{
    if (settings.proxy.isEmpty()) {
        networkManager->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
        return;
    }
    const QUrl url(settings.proxy);
    if (url.isValid() && !url.host().isEmpty()) {
        networkManager->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, url.host(),
                                               quint16(url.port(3128))));
        return;
    }
    // Nothing may go out unproxied; and the window connects only after
    // construction, so the fatal error is delivered from the event loop.
    networkManager->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    const QString text = QStringLiteral("'%1' is an invalid proxy specification").arg(settings.proxy);
    QMetaObject::invokeMethod(this, [this, text] { Q_EMIT fatalError(text); }, Qt::QueuedConnection);
}

void UpdateEngine::setBannerServer(const QString& host, quint16 port)
{
    bannerHost = host;
    bannerPort = port;
}

bool UpdateEngine::initialize(const UpdateTypeDesc& target)
{
    this->target = target;
    try {
        crypt_init();
    } catch (const crypt_exception& e) {
        Q_EMIT fatalError(QString::fromLocal8Bit(e.what()));
        return false;
    }

    if (!QFile::exists(installation.mirrorsFile())) {
        Q_EMIT fatalError(QStringLiteral("%1 is missing, cannot proceed.").arg(InstallationLayout::mirrorsFileName()));
        return false;
    }

    RandomSource::seed(quint32(QDateTime::currentSecsSinceEpoch()));

    int oldVersion = 0;
    QString oldDir;
    // A record may have been edited by anyone who can write update.ini:
    // only a session directory of our own is ever resumed or emptied.
    if (!UpdateIniData::get(installation, &oldVersion, nullptr, &oldDir) || !SessionDirectory::isOwn(oldDir)) {
        oldDir.clear();
    } else if (oldVersion == target.version) {
        Q_EMIT message(QStringLiteral("Previous update session for v. %1 found").arg(oldVersion));
    } else {
        Q_EMIT message(QStringLiteral("Cleanup previous session (v. %1, %2) files...").arg(oldVersion).arg(oldDir));
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
        oldDir = SessionDirectory::create(systemTemp);
        if (oldDir.isEmpty()) {
            Q_EMIT fatalConfigError(QStringLiteral("Unable to create temp directory."));
            return false;
        }
    }
    installation.setTempDir(oldDir);

    UpdateIniData::modify(installation, target.version, installation.tempDir(), target.updateType);

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
    mainTask = new MainTaskSpecification(DownloadContext{networkManager, mirrors, installation}, target.updateType,
                                         target.version,
                                         settings.downloadConcurrency, this, 1.0);
    connect(mainTask, &TaskSpecification::finished, this, &UpdateEngine::onTaskFinished);
    connect(mainTask, &TaskSpecification::canceled, this, &UpdateEngine::onTaskCanceled);
    connect(mainTask, &TaskSpecification::error, this, &UpdateEngine::error);
    connect(mainTask, &TaskSpecification::updateProgress, this, &UpdateEngine::updateProgress);
    connect(mainTask, &TaskSpecification::message, this, &UpdateEngine::message);
    state = EngineRunning;
    progressTimer->start(1000);
    mainTask->execute();
    return true;
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
    disconnect(mainTask, nullptr, this, nullptr);
    mainTask->deleteLater();
    mainTask = nullptr;
}

void UpdateEngine::onTaskFinished()
{
    progressTimer->stop();
    cleanup();
    state = EngineFinished;
    Q_EMIT message(QStringLiteral("Update successfully finished"));
    releaseMainTask();
    Q_EMIT downloadProgress(0, 0, 0, false);
    Q_EMIT updateFinished();
}

void UpdateEngine::onTaskCanceled()
{
    progressTimer->stop();
    state = EngineCanceled;
    if (mainTask && mainTask->state == UserCanceled)
        Q_EMIT message(QStringLiteral("User aborted update"));
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
        if (SessionDirectory::isOwn(dir))
            SessionDirectory::remove(dir);
        UpdateIniData::cleanup(installation);
    }
    Q_EMIT message(QStringLiteral("Temporary files removed."));
}

void UpdateEngine::cleanupDirectory(const QString& path)
{
    SessionDirectory::empty(path);
}

void UpdateEngine::removeOldFiles(const QString& dir)
{
    const QDir directory(dir);
    for (const QString& name : InstallationLayout::specialFileNames())
        QFile::remove(directory.absoluteFilePath(InstallationLayout::oldCopyPrefix() + name));
}

void UpdateEngine::getBanner()
{
    if (bannerReply)
        return;
    auto* banner = new Banner(this, bannerHost, bannerPort);
    connect(banner, &Banner::bannerFound, this, &UpdateEngine::onBannerFound);
    banner->run();
}

void UpdateEngine::onBannerFound(QString bannerUrl, QString clickUrl)
{
    const QUrl url(bannerUrl);
    // The address comes unauthenticated over UDP: fetch only web images.
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return;
    if (bannerReply)
        dropBanner();
    bannerClickUrl = clickUrl;
    bannerReply = networkManager->get(QNetworkRequest(url));
    connect(bannerReply, &QNetworkReply::finished, this, &UpdateEngine::onBannerDownloadFinished);
    connect(bannerReply, &QNetworkReply::metaDataChanged, this, &UpdateEngine::onBannermetaDataChanged);
    connect(bannerReply, &QNetworkReply::downloadProgress, this, &UpdateEngine::onBannerDownloadProgress);
}

void UpdateEngine::dropBanner()
{
    disconnect(bannerReply, nullptr, this, nullptr);
    bannerReply->abort();
    bannerReply->deleteLater();
    bannerReply = nullptr;
}

void UpdateEngine::onBannermetaDataChanged()
{
    if (!bannerReply)
        return;
    const QVariant length = bannerReply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > MaxBannerSize)
        dropBanner();
}

void UpdateEngine::onBannerDownloadProgress(qint64 received, qint64 total)
{
    Q_UNUSED(total);
    // An unannounced length must not let the banner grow without bound.
    if (bannerReply && received > MaxBannerSize)
        dropBanner();
}

void UpdateEngine::onBannerDownloadFinished()
{
    if (!bannerReply)
        return;
    const QByteArray data = bannerReply->readAll();
    bannerReply->deleteLater();
    bannerReply = nullptr;
    Q_EMIT bannerFound(data, bannerClickUrl);
}
