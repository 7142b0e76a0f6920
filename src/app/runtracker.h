#ifndef RUNTRACKER_H
#define RUNTRACKER_H

#include "app/remainingtime.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class UpdateEngine;

// Follows an update through the engine's signals: the step it is in, how
// far it has come, how fast it fetches, and what it logs. The steps and the
// files done are read from the engine's log lines, which name them.
class RunTracker : public QObject
{
    Q_OBJECT

public:
    enum class Phase { Prepare, Check, Download, Install, Remove, Cleanup, Rollback };
    enum class LineKind { Info, PerFile, Error };

    struct Figures
    {
        Phase phase = Phase::Prepare;
        // Of the whole run, 0 to 1.
        double fraction = 0.0;
        // While files download: bytes of this run's downloads and per second.
        bool downloading = false;
        quint64 bytesDone = 0;
        quint64 bytesTotal = 0;
        quint64 rate = 0;
        // -1 while unknown.
        qint64 secondsLeft = -1;
        // Of the phase; a total of 0 where the phase does not count files.
        int filesDone = 0;
        int filesTotal = 0;
        bool paused = false;
    };

    explicit RunTracker(QObject* parent = nullptr);

    // Takes the engine's signals from now on.
    void follow(UpdateEngine* engine);

    const Figures& figures() const { return current; }
    // Since the tracker was made.
    qint64 elapsedMs() const { return clock.elapsed(); }

    // The phase's name as machines read it: "download".
    static QString phaseId(Phase phase);
    // Its name as people read it: "Downloading".
    static QString phaseTitle(Phase phase);

public Q_SLOTS:
    // Lines of other sources than the engine, such as the configuration.
    void addLine(const QString& line);
    void addError(const QString& text);

Q_SIGNALS:
    void phaseChanged();
    void progressChanged();
    void logged(QString line, RunTracker::LineKind kind);

private:
    void onMessage(const QString& line);
    void onDownloadProgress(quint64 done, quint64 total, quint64 speed, bool downloading);
    void onDownloadsEnded(quint64 bytes);
    void onProgress(qreal fraction);
    void enter(Phase phase, qsizetype filesTotal = 0);

    UpdateEngine* engine = nullptr;
    Figures current;
    RemainingTime remaining;
    QElapsedTimer clock;
};

#endif
