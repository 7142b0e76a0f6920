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
#include <sys/stat.h>

namespace {

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
    // The state directories above it are private too, whatever the umask.
    if (!NewDirectory::makePath(dir, S_IRWXU))
        return false;
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    const QString current = QDir(dir).filePath(InstallationLayout::logFileName());
    const QString previous = current + QStringLiteral(".1");
    // rename() replaces the older log atomically; a link planted at either
    // name is replaced, never followed.
    if (QFileInfo::exists(current) || QFileInfo(current).isSymLink())
        ::rename(QFile::encodeName(current).constData(), QFile::encodeName(previous).constData());
    file.setFileName(current);
    written = 0;
    full = false;
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly);
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
