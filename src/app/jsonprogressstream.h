#ifndef JSONPROGRESSSTREAM_H
#define JSONPROGRESSSTREAM_H

#include "app/failuresummary.h"
#include "app/runtracker.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>

class QIODevice;
class QTimer;

// An update's progress for programs that embed the updater: one compact
// JSON object per line, {"schema":1,"event":...}, where event is "phase",
// "progress", "log", "error" (why a run failed, just before the result) or,
// last of all, "result" (docs/progress-json.md). Every phase event is
// followed by a progress event at once; within a phase progress events come
// at most every ProgressMs.
class JsonProgressStream : public QObject
{
    Q_OBJECT

public:
    static constexpr int Schema = 1;
    static constexpr int ProgressMs = 250;

    // Writes the first phase event at once.
    JsonProgressStream(RunTracker* tracker, QIODevice* out, QObject* parent = nullptr);

    // The final progress, the error of a failed run and the result; nothing
    // is written after it.
    void finish(int exitCode, const QJsonObject& summary);

    // One line of the stream, for answers that are no run (`update --check`).
    static QByteArray encode(const QString& event, QJsonObject fields);
    static QJsonObject result(int exitCode, qint64 elapsedMs, const QJsonObject& summary);

private:
    void onPhaseChanged();
    void onProgressChanged();
    void onLogged(const QString& line, RunTracker::LineKind kind);
    void writeProgress();
    void write(const QString& event, QJsonObject fields);
    void writeError(int exitCode);

    RunTracker* tracker;
    QIODevice* out;
    bool finished = false;
    // Why a run failed: the first error line, or the cause its lines show.
    QString firstError;
    FailureSummary failure;
    QElapsedTimer lastProgress;
    QTimer* progressTimer;
};

#endif
