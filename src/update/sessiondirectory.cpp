#include "sessiondirectory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <sys/stat.h>
#include <unistd.h>

QString SessionDirectory::base(const QString& systemTempPath)
{
    QString base = systemTempPath;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QStringLiteral("voxmeadow_temp_");
}

QString SessionDirectory::create(
    const QString& systemTempPath, const std::function<void(const QString& candidate)>& beforeCreating)
{
    if (systemTempPath.isEmpty())
        return QString();
    const QString prefix = base(systemTempPath);
    for (int i = 0; i < Candidates; ++i) {
        const QString candidate = prefix + QString::number(i);
        struct stat existing;
        if (::lstat(QFile::encodeName(candidate).constData(), &existing) == 0)
            continue;
        if (beforeCreating)
            beforeCreating(candidate);
        // mkdir itself decides whether the name is free, so no other process
        // (or planted file or link) can slip in between check and creation.
        if (::mkdir(QFile::encodeName(candidate).constData(), S_IRWXU) != 0)
            continue;
        // The umask can only have narrowed the mode; make sure the owner keeps full access.
        ::chmod(QFile::encodeName(candidate).constData(), S_IRWXU);
        return candidate;
    }
    return QString();
}

bool SessionDirectory::isOwn(const QString& path)
{
    static const QRegularExpression name(QStringLiteral("^voxmeadow_temp_[0-9]+$"));
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isDir() || !name.match(info.fileName()).hasMatch())
        return false;
    if (info.ownerId() != ::getuid())
        return false;
    const QString systemTemp = QDir(QDir::tempPath()).canonicalPath();
    return !systemTemp.isEmpty() && QDir(info.absolutePath()).canonicalPath() == systemTemp;
}

void SessionDirectory::empty(const QString& path)
{
    const QDir dir(path);
    const QDir::Filters common = QDir::Hidden | QDir::System | QDir::NoSymLinks | QDir::NoDotAndDotDot;
    for (const QFileInfo& file : dir.entryInfoList(QDir::Files | common))
        QFile::remove(file.absoluteFilePath());
    for (const QFileInfo& sub : dir.entryInfoList(QDir::Dirs | common)) {
        empty(sub.absoluteFilePath());
        dir.rmdir(sub.fileName());
    }
}

bool SessionDirectory::remove(const QString& path)
{
    empty(path);
    QDir parent(path);
    return parent.cdUp() && parent.rmdir(QFileInfo(path).fileName());
}
