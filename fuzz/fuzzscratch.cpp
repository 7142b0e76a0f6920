#include "fuzzscratch.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

QTemporaryDir& scratch()
{
    // On a memory file system where there is one: inputs are written by the thousand.
    static QTemporaryDir dir(QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm/voxmeadow-fuzz-XXXXXX")
                                                       : QDir::tempPath() + "/voxmeadow-fuzz-XXXXXX");
    return dir;
}

quint64 counter = 0;

} // namespace

QString FuzzScratch::directory()
{
    return scratch().path();
}

QString FuzzScratch::newPath(const QString& suffix)
{
    return QDir(directory()).filePath(QString::number(++counter) + suffix);
}

QString FuzzScratch::write(const QByteArray& data, const QString& suffix)
{
    const QString path = newPath(suffix);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(data);
    return path;
}
