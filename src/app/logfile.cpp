#include "app/logfile.h"

#include "fileops/newdirectory.h"
#include "manifest/installationlayout.h"
#include "manifest/outsidetext.h"

#include <QDateTime>
#include <QTimeZone>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The name the release tool refuses to publish, so one home for it.
const QByteArray LogName = QFile::encodeName(InstallationLayout::logFileName());

std::atomic<LogFile*> installedLog { nullptr };
QtMessageHandler previousHandler = nullptr;

void teeMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // Messages quote what servers and mirrors sent.
    const QString safe = OutsideText::escaped(message);
    if (LogFile* log = installedLog.load())
        log->write(safe);
    if (previousHandler) {
        previousHandler(type, context, safe);
        return;
    }
    const QByteArray text = qFormatLogMessage(type, context, safe).toLocal8Bit() + '\n';
    fwrite(text.constData(), 1, size_t(text.size()), stderr);
}

} // namespace

LogFile::~LogFile()
{
    LogFile* self = this;
    installedLog.compare_exchange_strong(self, nullptr);
}

QString LogFile::defaultDirectory()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // Only an absolute path counts, as the base directory rules say.
    if (state.isEmpty() || QDir::isRelativePath(state))
        state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/voxmeadow-update");
}

bool LogFile::open(const QString& dir)
{
    QMutexLocker locker(&mutex);
    refused.clear();
    // The state directories above it are private too, whatever the umask.
    if (!NewDirectory::makePath(dir, S_IRWXU)) {
        refused = QStringLiteral("%1 cannot be made").arg(dir);
        return false;
    }
    // Everything below goes through the directory's descriptor: what is
    // checked is what is written to, whatever is renamed meanwhile.
    const int dirFd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat status = {};
    if (dirFd < 0 || ::fstat(dirFd, &status) != 0) {
        refused = QStringLiteral("%1 cannot be opened").arg(dir);
    } else if (status.st_uid != ::geteuid()) {
        refused = QStringLiteral("%1 belongs to another user").arg(dir);
    } else if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        refused = QStringLiteral("others can write to %1").arg(dir);
    }
    if (!refused.isEmpty()) {
        if (dirFd >= 0)
            ::close(dirFd);
        return false;
    }
    (void)::fchmod(dirFd, 0700);
    rotate(dirFd);
    const int fd
        = ::openat(dirFd, LogName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    ::close(dirFd);
    filePath = QDir(dir).filePath(InstallationLayout::logFileName());
    written = 0;
    full = false;
    if (fd < 0 || !file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        refused = QStringLiteral("%1 cannot be written").arg(filePath);
        return false;
    }
    return true;
}

void LogFile::rotate(int dirFd)
{
    const auto name = [](int run) { return run == 0 ? LogName : LogName + '.' + QByteArray::number(run); };
    // Run 0 is update.log, which becomes update.log.1; renameat() replaces
    // an older log at once, and a link planted at a name is replaced, never
    // followed.
    int kept = 0;
    qint64 keptBytes = 0;
    for (int run = 0; run < MaxRuns - 1; ++run) {
        // A run without a log (one that could not write it) keeps its place.
        struct stat status = {};
        if (::fstatat(dirFd, name(run).constData(), &status, AT_SYMLINK_NOFOLLOW) == 0)
            keptBytes += status.st_size;
        if (run + 1 >= KeptRuns && keptBytes > KeptBytes)
            break;
        kept = run + 1;
    }
    for (int run = kept; run < MaxRuns; ++run)
        (void)::unlinkat(dirFd, name(run).constData(), 0);
    for (int run = kept - 1; run >= 0; --run)
        (void)::renameat(dirFd, name(run).constData(), dirFd, name(run + 1).constData());
}

void LogFile::write(const QString& line)
{
    QMutexLocker locker(&mutex);
    if (!file.isOpen() || full)
        return;
    static const QByteArray lastLine = QByteArrayLiteral("(log ends here: it reached its size limit)\n");
    // A run logs a few lines a file: the time is formatted once a second,
    // in UTC, which needs no time zone look-up.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now / 1000 != stampSecond) {
        stampSecond = now / 1000;
        stampPrefix = QDateTime::fromSecsSinceEpoch(stampSecond, QTimeZone::utc())
                          .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"))
                          .toLatin1();
    }
    char millis[8];
    std::snprintf(millis, sizeof millis, ".%03dZ ", int(now % 1000));
    QByteArray text = stampPrefix + millis + OutsideText::escaped(line).toUtf8() + '\n';
    if (written + text.size() > MaxBytes - lastLine.size()) {
        text = lastLine;
        full = true;
    }
    written += file.write(text);
    // Buffered, but never more than a moment behind: a kill loses at most
    // the last tenth of a second.
    if (!sinceFlush.isValid() || sinceFlush.elapsed() >= FlushMs || full) {
        file.flush();
        sinceFlush.start();
    }
}

void LogFile::installMessageHandler(LogFile* log)
{
    installedLog.store(log);
    if (!previousHandler)
        previousHandler = qInstallMessageHandler(teeMessage);
}
