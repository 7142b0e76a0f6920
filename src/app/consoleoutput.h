#ifndef CONSOLEOUTPUT_H
#define CONSOLEOUTPUT_H

#include "app/runtracker.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QIODevice;
class QTimer;

// What a console shows of an update. On a terminal one progress line stays
// at the bottom, redrawn at most four times a second, with the log lines
// above it; anywhere else (a pipe, a file, the journal) each step gets a
// line of its own and the progress one line every ten seconds. The lines
// the engine logs for every single file are left out: the progress counts
// them.
class ConsoleOutput : public QObject
{
    Q_OBJECT

public:
    static constexpr int RedrawMs = 250;
    static constexpr int PlainProgressMs = 10000;

    // `terminalFd` is the terminal that `out` writes to, whose width the
    // progress line must fit; -1 when `out` is no terminal.
    ConsoleOutput(
        RunTracker* tracker, QIODevice* out, QIODevice* err, int terminalFd, QObject* parent = nullptr);

    void print(const QString& text);
    void printError(const QString& text);
    // Takes the progress line away for good, before a closing text.
    void finish();

private:
    void onLogged(const QString& line, RunTracker::LineKind kind);
    void onPhaseChanged();
    // Redraws the progress line on a terminal, at most every RedrawMs.
    void scheduleDraw();
    void draw();
    void clearLine();
    void write(QIODevice* device, const QString& text);
    int terminalWidth() const;

    RunTracker* tracker;
    QIODevice* out;
    QIODevice* err;
    int terminalFd;
    bool finished = false;
    // Whether a progress line stands on the terminal now.
    bool lineShown = false;
    QElapsedTimer lastDraw;
    QTimer* redrawTimer;
    QTimer* plainTimer;
};

#endif
