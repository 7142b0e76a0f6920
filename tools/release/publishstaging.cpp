#include "publishstaging.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QString LockSuffix = QStringLiteral(".lock");

// The bytes below `path`, links not followed.
qint64 treeSize(const QString& path)
{
    qint64 bytes = 0;
    QDirIterator it(
        path, QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        bytes += it.fileInfo().size();
    }
    return bytes;
}

int openLock(const QString& path, int flags)
{
    return ::open(QFile::encodeName(path).constData(), flags | O_RDWR | O_CLOEXEC | O_NOFOLLOW, 0600);
}

} // namespace

PublishStaging::PublishStaging(const QString& outputDir, int version)
    : outputDir(outputDir)
    , version(version)
{ }

PublishStaging::~PublishStaging()
{
    if (!directory.isEmpty())
        QDir(directory).removeRecursively();
    if (lockFd >= 0) {
        QFile::remove(directory + LockSuffix);
        ::close(lockFd);
    }
}

bool PublishStaging::create(QString* error)
{
    QByteArray name
        = QFile::encodeName(QDir(outputDir).filePath(QStringLiteral(".publish-%1-XXXXXX").arg(version)));
    if (!::mkdtemp(name.data())) {
        *error = QStringLiteral("cannot create a staging directory in %1: %2")
                     .arg(outputDir, QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    directory = QFile::decodeName(name);
    // The lock file takes its name already locked: a sweep that meets the
    // directory before it leaves the directory alone, and one that meets
    // the lock file finds it held.
    const QString locking = directory + QStringLiteral(".locking");
    lockFd = openLock(locking, O_CREAT | O_EXCL);
    const bool locked = lockFd >= 0 && ::flock(lockFd, LOCK_EX | LOCK_NB) == 0
        && ::rename(
               QFile::encodeName(locking).constData(), QFile::encodeName(directory + LockSuffix).constData())
            == 0;
    if (!locked) {
        *error = QStringLiteral("cannot lock %1%2: %3")
                     .arg(directory, LockSuffix, QString::fromLocal8Bit(strerror(errno)));
        QFile::remove(locking);
        return false;
    }
    return true;
}

bool PublishStaging::moveTo(const QString& target)
{
    if (!QDir().rename(directory, target))
        return false;
    // The lock outlives the rename, so no sweep takes the name for abandoned.
    QFile::remove(directory + LockSuffix);
    ::close(lockFd);
    lockFd = -1;
    directory.clear();
    return true;
}

QStringList PublishStaging::removeAbandoned(const QString& outputDir)
{
    static const QRegularExpression staging(QStringLiteral("^\\.publish-[0-9]+-[A-Za-z0-9]{6}$"));
    const QDir root(outputDir);
    QStringList removed;
    QStringList unknown;
    qint64 bytes = 0;
    const QStringList names = root.entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    for (const QString& name : names) {
        const QString path = root.filePath(name);
        const bool lockFile = name.endsWith(LockSuffix);
        const QString stem = lockFile ? name.chopped(LockSuffix.size()) : name;
        if (!staging.match(stem).hasMatch())
            continue;
        const QFileInfo dir(root.filePath(stem));
        // A lock file is taken up with its directory; a lone one after its
        // directory was renamed into place or removed.
        if (lockFile && dir.exists())
            continue;
        if (!lockFile && (dir.isSymLink() || !dir.isDir()))
            continue;
        const int fd = openLock(root.filePath(stem) + LockSuffix, 0);
        if (fd < 0) {
            if (!lockFile)
                unknown << name;
            continue;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            if (!lockFile && QFileInfo::exists(path)) {
                bytes += treeSize(path);
                if (QDir(path).removeRecursively())
                    removed << name;
            }
            if (!QFileInfo::exists(root.filePath(stem)))
                QFile::remove(root.filePath(stem) + LockSuffix);
        }
        ::close(fd);
    }
    QStringList lines;
    if (!removed.isEmpty())
        lines << QStringLiteral("removed %1 left by a killed publish (%2, %3 MiB)")
                     .arg(removed.size() == 1 ? QStringLiteral("a staging directory")
                                              : QStringLiteral("%1 staging directories").arg(removed.size()),
                         removed.join(QStringLiteral(", ")))
                     .arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
    if (!unknown.isEmpty())
        lines << QStringLiteral("left %1 in %2: without a lock file it may be another publish's in progress "
                                "or an older tool's; remove it when no publish runs")
                     .arg(unknown.join(QStringLiteral(", ")), outputDir);
    return lines;
}
