#include "update/digestcache.h"

#include "manifest/filespecifications.h"
#include "manifest/installationlayout.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <time.h>

#include <algorithm>

namespace {

const QByteArray Magic = QByteArrayLiteral("VXDIGEST1\n");
constexpr int Md5Size = 16;
constexpr qint64 NsPerSecond = 1000000000;
// File systems that keep whole seconds (two for FAT) round a write's time down.
constexpr qint64 CoarseTickNs = 2 * NsPerSecond;
// Far above any installation's cache; a larger file is no cache of ours.
constexpr qint64 MaxCacheFileSize = 256 * 1024 * 1024;
// What the payload gathers before it goes to the file.
constexpr qsizetype PieceSize = 1024 * 1024;
// The least an entry takes in the payload: an empty path, the stamp, the digest.
constexpr qsizetype MinEntrySize = 4 + 5 * 8 + Md5Size;

qint64 nanoseconds(const timespec& time)
{
    return qint64(time.tv_sec) * NsPerSecond + time.tv_nsec;
}

QByteArray payloadDigest(const QByteArray& payload)
{
    return QCryptographicHash::hash(payload, QCryptographicHash::Md5);
}

} // namespace

QString DigestCache::fileName()
{
    return QStringLiteral("update.digests");
}

qint64 DigestCache::fileClockNowNs()
{
    // The kernel stamps file times from this clock, which may lag the precise one.
    timespec now {};
    clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return nanoseconds(now);
}

bool DigestCache::isSettled(const Stamp& stamp, qint64 readAtNs)
{
    // A status change time without nanoseconds hints at a file system of
    // whole seconds, whose tick is that long.
    const qint64 tick = stamp.changedNs % NsPerSecond == 0 ? CoarseTickNs : 1;
    return stamp.changedNs + tick <= readAtNs && stamp.modifiedNs + tick <= readAtNs;
}

DigestCache::DigestCache(const QString& cacheFilePath)
    : path(cacheFilePath)
{ }

bool DigestCache::load()
{
    entries.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxCacheFileSize)
        return false;
    const QByteArray content = file.readAll();
    if (content.size() < Magic.size() + Md5Size || !content.startsWith(Magic))
        return false;
    // A view into the content rather than a copy of most of it.
    const QByteArray payload = QByteArray::fromRawData(
        content.constData() + Magic.size(), content.size() - Magic.size() - Md5Size);
    if (payloadDigest(payload) != content.right(Md5Size) || !deserialize(payload)) {
        entries.clear();
        return false;
    }
    return true;
}

bool DigestCache::save() const
{
    const QString temporary = temporaryPath();
    QFile file(temporary);
    // A temporary file that a killed run left behind is simply overwritten.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray digest;
    const bool written = file.write(Magic) == Magic.size() && writePayload(file, &digest)
        && file.write(digest) == Md5Size && file.flush();
    file.close();
    if (!written || file.error() != QFileDevice::NoError) {
        file.remove();
        return false;
    }
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0) {
        file.remove();
        return false;
    }
    return true;
}

QString DigestCache::temporaryPath() const
{
    const QFileInfo target(path);
    return target.dir().filePath(InstallationLayout::newFilePrefix() + target.fileName());
}

Md5Sum DigestCache::digest(const QString& relativePath, const Stamp& stamp) const
{
    const auto it = entries.constFind(relativePath);
    if (it == entries.constEnd() || it->stamp != stamp)
        return Md5Sum();
    return Md5Sum::fromDigest(QByteArray::fromRawData(it->md5.data(), Md5Size));
}

void DigestCache::insert(const QString& relativePath, const Stamp& stamp, const Md5Sum& md5, qint64 readAtNs)
{
    const QByteArray raw = md5.digest();
    if (!md5.isDigest() || !isSettled(stamp, readAtNs)) {
        entries.remove(relativePath);
        return;
    }
    Entry entry { stamp, {} };
    std::copy_n(raw.constData(), Md5Size, entry.md5.begin());
    entries.insert(relativePath, entry);
}

void DigestCache::remove(const QString& relativePath)
{
    entries.remove(relativePath);
}

void DigestCache::insertInstalled(const QString& root, const FileSpecifications& lists, qint64 readAtNs)
{
    // Room for them all at once: growing by steps holds the old and the new room together.
    entries.reserve(entries.size() + lists.replaceList.size());
    for (const FileReplaceSpecification& replace : lists.replaceList) {
        const QString relativePath = replace.pureDestFilePath();
        // A copy reused from an earlier attempt was not fetched this time; its
        // file is simply hashed by the next run.
        const Md5Sum& md5 = replace.hasUnzip() ? replace.unzipMd5 : replace.fetchedMd5;
        Stamp stamp;
        if (!md5.isEmpty() && stampOf(root + QLatin1Char('/') + relativePath, stamp))
            insert(relativePath, stamp, md5, readAtNs);
        else
            remove(relativePath);
    }
}

bool DigestCache::writePayload(QFileDevice& file, QByteArray* digest) const
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    QByteArray piece;
    QBuffer buffer(&piece);
    buffer.open(QIODevice::WriteOnly);
    QDataStream out(&buffer);
    out.setVersion(QDataStream::Qt_6_0);
    const auto flush = [&] {
        hash.addData(piece);
        const bool written = file.write(piece) == piece.size();
        buffer.seek(0);
        piece.resize(0);
        return written;
    };
    out << quint32(entries.size());
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        const Stamp& stamp = it->stamp;
        out << it.key() << stamp.device << stamp.inode << stamp.size << stamp.modifiedNs << stamp.changedNs;
        out.writeRawData(it->md5.data(), Md5Size);
        if (piece.size() >= PieceSize && !flush())
            return false;
    }
    if (!flush())
        return false;
    *digest = hash.result();
    return true;
}

bool DigestCache::deserialize(const QByteArray& payload)
{
    QDataStream in(payload);
    in.setVersion(QDataStream::Qt_6_0);
    quint32 count = 0;
    in >> count;
    // The count is checked against the payload's size before it sets the room.
    entries.reserve(qMin(qsizetype(count), payload.size() / MinEntrySize));
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString relativePath;
        Entry entry;
        Stamp& stamp = entry.stamp;
        in >> relativePath >> stamp.device >> stamp.inode >> stamp.size >> stamp.modifiedNs
            >> stamp.changedNs;
        if (in.readRawData(entry.md5.data(), Md5Size) != Md5Size)
            return false;
        entries.insert(relativePath, entry);
    }
    return in.status() == QDataStream::Ok && in.atEnd();
}
