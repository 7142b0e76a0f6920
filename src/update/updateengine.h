#ifndef UPDATEENGINE_H
#define UPDATEENGINE_H

#include "manifest/installationlayout.h"
#include "manifest/updatetypedesc.h"
#include "update/runsummary.h"
#include "update/updatesettings.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

class BannerFetcher;
class MainTaskSpecification;
class Mirrors;
class QTimer;
class TransferEngine;

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

    // The next run reads every installed file, ignoring the digest cache.
    void setFullCheck(bool full) { fullCheck = full; }
    // What the last run that compiled its lists found and did.
    const RunSummary& summary() const { return lastSummary; }

    // Ends the run's transfers, keeping what they received, or continues them.
    void setPaused(bool paused);
    bool isPaused() const;
    // The bandwidth cap in bytes a second; 0: none.
    qint64 maxDownloadRate() const;

    // The installation and, once initialized, the run's temporary directory.
    const InstallationLayout& layout() const { return installation; }

    // Where the banner query is sent; the built-in update server by default.
    void setBannerServer(const QString& host, quint16 port);

    EngineState state;
    Mirrors* mirrors;
    MainTaskSpecification* mainTask;
    QTimer* progressTimer;
    TransferEngine* transfers;
    BannerFetcher* bannerFetcher;

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
    // The run's downloads are over: `bytes` is what the files fetched took
    // on the wire, the final figure that the once-a-second samples may miss.
    void downloadsEnded(quint64 bytes);
    void message(QString message);
    void updateFinished();
    void updateCanceled();
    void bannerFound(QByteArray bannerImage, QString clickUrl);

private Q_SLOTS:
    void onTimer();
    void onTaskFinished();
    void onTaskCanceled();

private:
    void setUpTransfers();
    void removeSessionDirectory();
    void releaseMainTask();

    InstallationLayout installation;
    UpdateSettings settings;
    // Whether update.ini names this run's directory, so that a later run finds it.
    bool sessionRecorded = true;
    UpdateTypeDesc target;
    bool fullCheck = false;
    RunSummary lastSummary;
    QElapsedTimer runTime;
};

#endif
