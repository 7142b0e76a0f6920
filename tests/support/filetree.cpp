#include "filetree.h"

#include "tasks/rollbackdatalist.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <zlib.h>

namespace FileTree {

bool write(const QString& path, const QByteArray& data)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return false;
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size();
}

QByteArray read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

QByteArray gzip(const QByteArray& data)
{
    z_stream stream {};
    // 16 added to the window bits asks for a gzip header and trailer.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return QByteArray();
    QByteArray out(int(deflateBound(&stream, uLong(data.size()))) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = uInt(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const int result = deflate(&stream, Z_FINISH);
    out.resize(int(stream.total_out));
    deflateEnd(&stream);
    return result == Z_STREAM_END ? out : QByteArray();
}

QByteArray pattern(int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        data[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    return data;
}

QString md5Hex(const QByteArray& data)
{
    return QString::fromLatin1(QCryptographicHash::hash(data, QCryptographicHash::Md5).toHex());
}

QString Snapshot::difference(const Snapshot& other) const
{
    QStringList names;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        if (other.files.value(it.key()) != it.value())
            names << it.key();
    }
    for (auto it = other.files.cbegin(); it != other.files.cend(); ++it) {
        if (!files.contains(it.key()))
            names << it.key();
    }
    for (const QString& dir : dirs) {
        if (!other.dirs.contains(dir))
            names << dir + QLatin1Char('/');
    }
    for (const QString& dir : other.dirs) {
        if (!dirs.contains(dir))
            names << dir + QLatin1Char('/');
    }
    return names.join(QLatin1String(", "));
}

Snapshot snapshot(const QString& root)
{
    Snapshot result;
    const QDir base(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
        QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString name = base.relativeFilePath(info.filePath());
        const QString mode = QString::number(int(info.permissions()), 16);
        if (info.isDir()) {
            result.dirs << name + QLatin1Char(' ') + mode;
        } else {
            result.files.insert(name, md5Hex(read(info.filePath())) + QLatin1Char(' ') + mode);
        }
    }
    result.dirs.sort();
    return result;
}

QStringList describe(const RollbackDataList& journal, const QString& root)
{
    const QDir base(root);
    QStringList lines;
    for (const RollbackData& record : journal.records()) {
        QString line = QString::number(int(record.operation)) + QLatin1Char(' ')
            + base.relativeFilePath(record.path());
        if (!record.previousPath().isEmpty())
            line += QLatin1String(" <- ") + base.relativeFilePath(record.previousPath());
        lines << line;
    }
    return lines;
}

} // namespace FileTree
