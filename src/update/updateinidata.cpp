#include "updateinidata.h"

#include "fileops/newfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

namespace {

const QString group = QStringLiteral("current");

// QSettings takes a file whose size and modification time (in milliseconds)
// are those it read before for unchanged, and the file system's clock may
// not move between two rewrites: the new content gets a later time than the
// one it replaces, so that a record of the same length is never read stale.
void advanceModificationTime(const QString& file, const QString& replaced)
{
    struct stat old;
    if (::stat(QFile::encodeName(replaced).constData(), &old) != 0)
        return;
    timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    const qint64 oldMs = qint64(old.st_mtim.tv_sec) * 1000 + old.st_mtim.tv_nsec / 1000000;
    const qint64 nowMs = qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    const qint64 ms = qMax(nowMs, oldMs + 1);
    const timespec times[2] = { { 0, UTIME_OMIT }, { time_t(ms / 1000), long(ms % 1000) * 1000000 } };
    ::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, AT_SYMLINK_NOFOLLOW);
}

} // namespace

QString UpdateIniData::filename(const InstallationLayout& layout)
{
    return layout.settingsFile();
}

bool UpdateIniData::get(const InstallationLayout& layout, int* version, QString* type, QString* dir)
{
    QSettings settings(filename(layout), QSettings::IniFormat);
    settings.beginGroup(group);
    bool isNumber = false;
    const int recordedVersion = settings.value(QStringLiteral("version")).toInt(&isNumber);
    const QString recordedType = settings.value(QStringLiteral("type")).toString();
    const QString recordedDir = settings.value(QStringLiteral("dir")).toString();
    settings.endGroup();

    if (!isNumber || recordedType.isEmpty() || recordedDir.isEmpty() || !QFile::exists(recordedDir))
        return false;
    if (version)
        *version = recordedVersion;
    if (type)
        *type = recordedType;
    if (dir)
        *dir = recordedDir;
    return true;
}

bool UpdateIniData::modify(
    const InstallationLayout& layout, int version, const QString& dir, const QString& type)
{
    return rewrite(layout, [&](QSettings& settings) {
        settings.beginGroup(group);
        settings.setValue(QStringLiteral("version"), version);
        settings.setValue(QStringLiteral("dir"), dir);
        settings.setValue(QStringLiteral("type"), type);
        settings.endGroup();
    });
}

void UpdateIniData::cleanup(const InstallationLayout& layout)
{
    rewrite(layout, [](QSettings& settings) { settings.remove(group); });
}

bool UpdateIniData::rewrite(const InstallationLayout& layout, const std::function<void(QSettings&)>& change)
{
    const QString path = filename(layout);
    const QFileInfo target(path);
    const QString copy = target.dir().filePath(InstallationLayout::newFilePrefix() + target.fileName());
    // A copy that a killed run left behind would be read as the settings,
    // and a link planted at its name would be written through: the name is
    // cleared and the copy created anew. Copied by hand: QFile::copy goes
    // through a temporary of another name.
    {
        NewFile to(copy, NewFile::Replace);
        if (!to.isOpen())
            return false;
        QFile from(path);
        if (from.exists()) {
            if (!from.open(QIODevice::ReadOnly))
                return false;
            const QByteArray content = from.readAll();
            if (content.size() != from.size() || !to.write(content.constData(), content.size()))
                return false;
        }
        if (!to.keep())
            return false;
    }
    {
        QSettings settings(copy, QSettings::IniFormat);
        change(settings);
        settings.sync();
        if (settings.status() != QSettings::NoError) {
            QFile::remove(copy);
            return false;
        }
    }
    advanceModificationTime(copy, path);
    if (std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(copy);
        return false;
    }
    return true;
}
