#include "app/privateruntimedirectory.h"

#include "fileops/newdirectory.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

QString PrivateRuntimeDirectory::locate()
{
    const QString uid = QString::number(::getuid());
    return locate(qEnvironmentVariable("XDG_RUNTIME_DIR"),
        { QStringLiteral("/tmp/voxmeadow-update-") + uid,
            QDir::homePath() + QStringLiteral("/.voxmeadow-update") });
}

QString PrivateRuntimeDirectory::locate(const QString& runtimeDir, const QStringList& ownCandidates)
{
    if (!runtimeDir.isEmpty() && isPrivate(runtimeDir))
        return runtimeDir;
    for (const QString& candidate : ownCandidates) {
        const QByteArray path = QFile::encodeName(candidate);
        if (!NewDirectory::make(candidate, S_IRWXU)) {
            // A directory of ours from an earlier start may carry a wider
            // mode; one of another user is left alone.
            struct stat info;
            if (::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid())
                ::chmod(path.constData(), S_IRWXU);
        }
        if (isPrivate(candidate))
            return candidate;
    }
    return QString();
}

bool PrivateRuntimeDirectory::isPrivate(const QString& path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}
