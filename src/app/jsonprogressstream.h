#ifndef JSONPROGRESSSTREAM_H
#define JSONPROGRESSSTREAM_H

#include "app/runtracker.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>

class QIODevice;
class QTimer;

// An update's progress for programs that embed the updater: one compact
// JSON object per line, {"schema":1,"event":...}, where event is "phase",
// "progress", "log" or, last of all, "result" (docs/progress-json.md).
// Every phase event is followed by a progress event at once; within a phase
// progress events come at most every ProgressMs.
class JsonProgressStream : public QObject
{
    Q_OBJECT

public:
    static constexpr int Schema = 1;
    static constexpr int ProgressMs = 250;

    // Writes the first phase event at once.
    JsonProgressStream(RunTracker* tracker, QIODevice* out, QObject* parent = nullptr);

    // The final progress and the result; nothing is written after it.
    void finish(int exitCode, const QJsonObject& summary);

private:
    void onPhaseChanged();
    void onProgressChanged();
    void onLogged(const QString& line, RunTracker::LineKind kind);
    void writeProgress();
    void write(const QString& event, QJsonObject fields);

    RunTracker* tracker;
    QIODevice* out;
    bool finished = false;
    QElapsedTimer lastProgress;
    QTimer* progressTimer;
};

#endif
