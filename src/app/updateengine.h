#ifndef UPDATEENGINE_H
#define UPDATEENGINE_H

#include "buildconfig.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class Configuration;
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

    UpdateEngine(Configuration& config, QObject* parent);

    bool initialize();
    bool startUpdate();
    bool busy() const;
    void reset();
    void getBanner();
    void cleanup();
    static void cleanupDirectory(const QString& path);
    // Deletes the "_old_" copies of the updater's own files that an earlier
    // run could not delete while it was running. Failures are ignored.
    static void removeOldFiles(const QString& dir);
    // True for a directory this updater may have created for a session:
    // voxmeadow_temp_<digits> directly in the system temporary directory,
    // not a symbolic link, owned by the current user.
    static bool isOwnTempDir(const QString& path);

    // Where the banner query is sent; the built-in update server by default.
    void setBannerServer(const QString& host, quint16 port);

    EngineState state;
    Configuration& config;
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

    QString bannerHost = QStringLiteral(VOXMEADOW_UPDATE_HOST);
    quint16 bannerPort;
};

#endif
