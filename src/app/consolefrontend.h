#ifndef CONSOLEFRONTEND_H
#define CONSOLEFRONTEND_H

#include "app/failuresummary.h"

#include <QObject>
#include <QString>
#include <QStringList>

class Configuration;
class ConsoleOutput;
class QIODevice;
class RunTracker;
class UpdateEngine;

// Runs one update without a window: on a terminal, through a pipe, under a
// service manager. The same engine as the window's does the work; every
// question the window would ask has its answer from the command line or a
// fixed default, so nothing waits for input that cannot come. The update
// starts at once, the client is not started afterwards, and the end says
// what was done and gives the exit code.
class ConsoleFrontEnd : public QObject
{
    Q_OBJECT

public:
    // The run's figures and lines go to `tracker`, and are shown to people
    // on `out` and `err`; `terminalFd` is the terminal that `out` writes to,
    // -1 for none.
    ConsoleFrontEnd(Configuration& config, RunTracker* tracker, QIODevice* out, QIODevice* err,
        int terminalFd, QObject* parent = nullptr);

    UpdateEngine* updateEngine() const { return engine; }
    // The version the update installs or installed; 0 while unknown.
    int targetVersion() const;

public Q_SLOTS:
    // Reads the command line, asks the update server when it must, and
    // starts the update; finished() follows, now or when the run ends.
    void start(const QStringList& arguments, int retries);
    // As the window's Cancel: the run stops and undoes what it changed.
    void cancel();

Q_SIGNALS:
    // Whether a run is under way that a cancel would stop.
    void runActiveChanged(bool active);
    void finished(int exitCode);

private:
    bool retryVersionQuery();
    void onUpdateFinished();
    void onUpdateCanceled();
    void end(int exitCode);
    QString heading() const;

    Configuration& config;
    int retries = 0;
    int retriesUsed = 0;
    bool queryGivenUp = false;
    bool runStarted = false;
    bool cancelRequested = false;
    bool ended = false;
    UpdateEngine* engine;
    RunTracker* tracker;
    ConsoleOutput* output;
    FailureSummary failure;
};

#endif
