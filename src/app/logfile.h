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
// ~/.local/state/voxmeadow-update). The previous run's log stays beside it
// as update.log.1; a run writes at most MaxBytes, so a run that logs the
// same failure for days cannot fill the disk. Lines carry their UTC time.
class LogFile
{
public:
    static constexpr qint64 MaxBytes = 16 * 1024 * 1024;

    LogFile() = default;
    // Stops the program's messages from reaching a log that is gone.
    ~LogFile();

    static QString defaultDirectory();

    // Keeps the previous log as update.log.1 and starts a new one in `dir`
    // (made private to the user when missing); false when it cannot.
    bool open(const QString& dir);
    QString path() const { return file.fileName(); }
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

    QFile file;
    QMutex mutex;
    qint64 written = 0;
    bool full = false;
    QElapsedTimer sinceFlush;
    qint64 stampSecond = -1;
    QByteArray stampPrefix;
};

#endif
