#ifndef LOGFILE_H
#define LOGFILE_H

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QString>

// The log a player can attach to a support request: every line the program
// logs, also in runs nobody watched, in update.log of the user's state
// directory ($XDG_STATE_HOME/voxmeadow-update, by default
// ~/.local/state/voxmeadow-update). The logs of earlier runs stay beside it
// as update.log.1 (the last), update.log.2 and so on: always the last
// KeptRuns - 1, older ones up to MaxRuns - 1 while they take no more than
// KeptBytes together. A run writes at most MaxBytes, so a run that logs the
// same failure for days cannot fill the disk. Lines carry their UTC time.
class LogFile
{
public:
    static constexpr qint64 MaxBytes = 16 * 1024 * 1024;
    static constexpr int KeptRuns = 5;
    static constexpr qint64 KeptBytes = 16 * 1024 * 1024;
    static constexpr int MaxRuns = 20;

    LogFile() = default;
    // Stops the program's messages from reaching a log that is gone.
    ~LogFile();

    static QString defaultDirectory();

    // Moves the earlier logs on by one and starts a new one in `dir` (made
    // private to the user when missing); false when it cannot, or when the
    // directory is another user's or others may write to it: refusal() then
    // says why.
    bool open(const QString& dir);
    QString refusal() const { return refused; }
    QString path() const { return filePath; }
    // One line, time-stamped, its control characters escaped; safe from
    // any thread.
    void write(const QString& line);

    // Writes every message the program logs (qInfo, qWarning, ...) to `log`
    // too (unless nullptr), beside where they went before, its control
    // characters escaped in both. `log` must outlive the program's logging,
    // or be uninstalled with nullptr; its destructor uninstalls it.
    static void installMessageHandler(LogFile* log);

private:
    static constexpr qint64 FlushMs = 100;

    // Renames update.log to update.log.1 and so on within the directory
    // `dirFd`, and deletes the logs the rule keeps no longer.
    static void rotate(int dirFd);

    QFile file;
    QString filePath;
    QString refused;
    QMutex mutex;
    qint64 written = 0;
    bool full = false;
    QElapsedTimer sinceFlush;
    qint64 stampSecond = -1;
    QByteArray stampPrefix;
};

#endif
