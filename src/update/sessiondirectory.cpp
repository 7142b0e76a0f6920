#include "sessiondirectory.h"

#include "fileops/newdirectory.h"
#include "fileops/newfile.h"
#include "manifest/productiniline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QLatin1String namePrefix("voxmeadow_temp_");
// Names tried before giving up: a random name that is taken is already rare.
constexpr int NameAttempts = 100;
constexpr int SuffixLength = 12;
// Far above any installation path; a larger note is none of ours.
constexpr qint64 MaxNoteSize = 64 * 1024;

QString randomSuffix()
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString suffix;
    for (int i = 0; i < SuffixLength; ++i)
        suffix += QLatin1Char(letters[QRandomGenerator::system()->bounded(int(sizeof(letters) - 1))]);
    return suffix;
}

bool hasSessionName(const QString& name)
{
    // Letters and digits: the random names, and the numbered ones of
    // earlier versions.
    static const QRegularExpression pattern(QStringLiteral("^voxmeadow_temp_[0-9A-Za-z]+$"));
    return pattern.match(name).hasMatch();
}

// Below the directory that no release ships a file in, so that no download
// takes its place.
QString notePath(const QString& dir)
{
    return QDir(dir).filePath(ProductIniLine::reservedDirectory() + QStringLiteral("/installation"));
}

void noteInstallation(const QString& dir, const QString& installationRoot)
{
    const QString note = notePath(dir);
    if (!NewDirectory::make(QFileInfo(note).path()))
        return;
    NewFile file(note);
    const QByteArray root = installationRoot.toUtf8();
    if (file.write(root.constData(), root.size()))
        file.keep();
}

QString notedInstallation(const QString& dir)
{
    QFile note;
    const int fd = ::open(QFile::encodeName(notePath(dir)).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 || !note.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        if (fd >= 0)
            ::close(fd);
        return QString();
    }
    return QString::fromUtf8(note.read(MaxNoteSize));
}

bool isOwnDirectory(const QFileInfo& info)
{
    return !info.isSymLink() && info.isDir() && hasSessionName(info.fileName())
        && info.ownerId() == ::getuid();
}

} // namespace

QString SessionDirectory::base(const QString& systemTempPath)
{
    QString base = systemTempPath;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + namePrefix;
}

QString SessionDirectory::create(const QString& systemTempPath, const QString& installationRoot,
    const std::function<void(const QString& candidate)>& beforeCreating)
{
    if (systemTempPath.isEmpty())
        return QString();
    const QString prefix = base(systemTempPath);
    for (int i = 0; i < NameAttempts; ++i) {
        const QString candidate = prefix + randomSuffix();
        if (beforeCreating)
            beforeCreating(candidate);
        // mkdir itself decides whether the name is free, so no other process
        // (or planted file or link) can slip in between choice and creation.
        if (NewDirectory::make(candidate, S_IRWXU)) {
            noteInstallation(candidate, installationRoot);
            return candidate;
        }
        if (errno != EEXIST)
            return QString();
    }
    return QString();
}

bool SessionDirectory::isOwn(const QString& path)
{
    const QFileInfo info(path);
    if (!isOwnDirectory(info))
        return false;
    const QString systemTemp = QDir(QDir::tempPath()).canonicalPath();
    return !systemTemp.isEmpty() && QDir(info.absolutePath()).canonicalPath() == systemTemp;
}

bool SessionDirectory::belongsTo(const QString& path, const QString& installationRoot)
{
    return !installationRoot.isEmpty() && isOwnDirectory(QFileInfo(path))
        && notedInstallation(path) == installationRoot;
}

QStringList SessionDirectory::ofInstallation(const QString& systemTempPath, const QString& installationRoot)
{
    QStringList found;
    const QDir dir(systemTempPath);
    for (const QString& name : dir.entryList(
             { namePrefix + QLatin1Char('*') }, QDir::Dirs | QDir::NoSymLinks | QDir::NoDotAndDotDot)) {
        const QString path = dir.filePath(name);
        if (belongsTo(path, installationRoot))
            found << path;
    }
    return found;
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
