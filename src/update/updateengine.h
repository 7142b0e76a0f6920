#ifndef UPDATEENGINE_H
#define UPDATEENGINE_H

#include "buildconfig.h"
#include "manifest/installationlayout.h"
#include "manifest/updatetypedesc.h"
#include "update/updatesettings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class MainTaskSpecification;
class Mirrors;
class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

enum EngineState {
    EngineIdle = 0,
    EngineInitialized = 1,
    EngineRunning = 2,
    EngineFinished = 3,
    EngineCanceled = 4
};

// Stands between the window and the task tree: prepares a run (resuming or
// removing an interrupted one), starts the main task, samples its transfer
// figures once a second and cleans up after success.
class UpdateEngine : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 MaxBannerSize = 270000;

    UpdateEngine(const InstallationLayout& layout, const UpdateSettings& settings, QObject* parent);

    // Prepares a run that installs `target`.
    bool initialize(const UpdateTypeDesc& target);
    bool startUpdate();
    bool busy() const;
    void reset();
    void getBanner();
    void cleanup();
    static void cleanupDirectory(const QString& path);
    // Deletes the "_old_" copies of the updater's own files that an earlier
    // run could not delete while it was running. Failures are ignored.
    static void removeOldFiles(const QString& dir);

    // The installation and, once initialized, the run's temporary directory.
    const InstallationLayout& layout() const { return installation; }

    // Where the banner query is sent; the built-in update server by default.
    void setBannerServer(const QString& host, quint16 port);

    EngineState state;
    Mirrors* mirrors;
    MainTaskSpecification* mainTask;
    QTimer* progressTimer;
    QNetworkAccessManager* networkManager;
    QString bannerClickUrl;
    QNetworkReply* bannerReply;

public Q_SLOTS:
    void cancelUpdate();

Q_SIGNALS:
    void fatalError(QString errorMessage);
    // A fatal problem of this machine's set-up rather than of the update
    // (no usable temporary directory); it ends the program like a bad
    // configuration.
    void fatalConfigError(QString errorMessage);
    void error(QString errorMessage);
    void updateProgress(qreal doneFrac);
    void downloadProgress(quint64 downloadDone, quint64 downloadTotal, quint64 speed, bool downloading);
    void message(QString message);
    void updateFinished();
    void updateCanceled();
    void bannerFound(QByteArray bannerImage, QString clickUrl);

private Q_SLOTS:
    void onTimer();
    void onTaskFinished();
    void onTaskCanceled();
    void onBannerFound(QString bannerUrl, QString clickUrl);
    void onBannerDownloadFinished();
    void onBannermetaDataChanged();
    void onBannerDownloadProgress(qint64 received, qint64 total);

private:
    void setUpProxy();
    void dropBanner();
    void releaseMainTask();

    InstallationLayout installation;
    UpdateSettings settings;
    UpdateTypeDesc target;
    QString bannerHost = QStringLiteral(VOXMEADOW_UPDATE_HOST);
    quint16 bannerPort;
};

#endif
