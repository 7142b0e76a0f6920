#include "update/digestcache.h"

#include "fileops/newfile.h"
#include "manifest/filespecifications.h"
#include "manifest/installationlayout.h"
#include "update/twothreads.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>

#include <time.h>

#include <algorithm>
#include <vector>

namespace {

// The first form holds MD5 digests, the second SHA-256 ones. The payload
// ends in the MD5 of itself either way: it tells damage, not forgery.
const QByteArray Md5Magic = QByteArrayLiteral("VXDIGEST1\n");
const QByteArray Sha256Magic = QByteArrayLiteral("VXDIGEST2\n");
constexpr int Md5Size = 16;
constexpr qint64 NsPerSecond = 1000000000;
// File systems that keep whole seconds (two for FAT) round a write's time down.
constexpr qint64 CoarseTickNs = 2 * NsPerSecond;
// Far above any installation's cache; a larger file is no cache of ours.
constexpr qint64 MaxCacheFileSize = 256 * 1024 * 1024;
// What the payload gathers before it goes to the file.
constexpr qsizetype PieceSize = 1024 * 1024;
// Installed files whose stamps are read at once, bounding the entries held.
constexpr qsizetype InstalledBatchSize = 1024;
// The least an entry takes in the payload: an empty path, the stamp, the digest.
constexpr qsizetype MinEntrySize = 4 + 5 * 8 + Md5Size;

const QByteArray& magicOf(ContentSum::Algorithm algorithm)
{
    return algorithm == ContentSum::Algorithm::Md5 ? Md5Magic : Sha256Magic;
}

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
    return InstallationLayout::digestCacheFileName();
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

DigestCache::DigestCache(const QString& cacheFilePath, ContentSum::Algorithm algorithm)
    : path(cacheFilePath)
    , algorithm(algorithm)
{ }

ContentSum DigestCache::sumOf(const Entry& entry) const
{
    return ContentSum::fromDigest(QByteArrayView(entry.md5.data(), digestSize()), algorithm);
}

bool DigestCache::load()
{
    entries.clear();
    table.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > MaxCacheFileSize)
        return false;
    const QByteArray content = file.readAll();
    const QByteArray& magic = magicOf(algorithm);
    if (content.size() < magic.size() + Md5Size || !content.startsWith(magic))
        return false;
    // A view into the content rather than a copy of most of it.
    const QByteArray payload = QByteArray::fromRawData(
        content.constData() + magic.size(), content.size() - magic.size() - Md5Size);
    if (payloadDigest(payload) != content.right(Md5Size) || !deserialize(payload)) {
        entries.clear();
        table.clear();
        return false;
    }
    return true;
}

bool DigestCache::save() const
{
    return save(nullptr);
}

bool DigestCache::save(const Installed* installed) const
{
    const QString temporary = temporaryPath();
    // Whatever a killed run (or anyone else) left at the temporary name goes
    // first: nothing is ever written through it.
    NewFile output(temporary, NewFile::Replace);
    QFile file;
    // Read too: the payload may have to be hashed again from the file.
    if (!output.isOpen() || !file.open(output.handle(), QIODevice::ReadWrite, QFileDevice::DontCloseHandle))
        return false;
    QByteArray digest;
    const QByteArray& magic = magicOf(algorithm);
    const bool written = file.write(magic) == magic.size() && writePayload(file, installed, &digest)
        && file.write(digest) == Md5Size && file.flush();
    file.close();
    if (!written || file.error() != QFileDevice::NoError || !output.keep())
        return false;
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temporary);
        return false;
    }
    return true;
}

QString DigestCache::temporaryPath() const
{
    const QFileInfo target(path);
    return target.dir().filePath(InstallationLayout::newFilePrefix() + target.fileName());
}

qint32 DigestCache::indexOf(const QString& relativePath, const Stamp& stamp) const
{
    if (table.isEmpty())
        return -1;
    const qint32 index = table.at(slotOf(relativePath));
    return index >= 0 && entries.at(index).stamp == stamp ? index : -1;
}

ContentSum DigestCache::digest(const QString& relativePath, const Stamp& stamp) const
{
    const qint32 index = indexOf(relativePath, stamp);
    if (index < 0)
        return ContentSum();
    return sumOf(entries.at(index));
}

void DigestCache::insert(
    const QString& relativePath, const Stamp& stamp, const ContentSum& md5, qint64 readAtNs)
{
    const QByteArray raw = md5.digest();
    if (!md5.isDigest() || md5.algorithm() != algorithm || !isSettled(stamp, readAtNs)) {
        take(relativePath);
        return;
    }
    Entry entry { relativePath, stamp, {}, true };
    std::copy_n(raw.constData(), raw.size(), entry.md5.begin());
    put(std::move(entry));
}

bool DigestCache::recall(const QString& relativePath, const Stamp& stamp, const ContentSum& expected,
    qint64 readAtNs, ContentSum* md5)
{
    const qint32 index = indexOf(relativePath, stamp);
    if (index < 0)
        return false;
    Entry& entry = entries[index];
    *md5 = sumOf(entry);
    if (*md5 == expected && isSettled(stamp, readAtNs))
        entry.confirmed = true;
    return true;
}

qsizetype DigestCache::dropUnconfirmed()
{
    const qsizetype before = entries.size();
    entries.removeIf([](const Entry& entry) { return !entry.confirmed; });
    const qsizetype dropped = before - entries.size();
    if (dropped > 0) {
        // Every index after the first dropped entry moved.
        table.clear();
        reserveSlots(entries.size());
    }
    return dropped;
}

void DigestCache::remove(const QString& relativePath)
{
    take(relativePath);
}

void DigestCache::insertInstalled(const QString& root, const FileSpecifications& lists, qint64 readAtNs)
{
    // Room for them all at once: growing by steps holds the old and the new room together.
    reserve(entries.size() + lists.replaceList.size());
    const QString below = root + QLatin1Char('/');
    for (const FileReplaceSpecification& replace : lists.replaceList) {
        Entry entry;
        if (installedEntry(below, replace, readAtNs, &entry))
            put(std::move(entry));
        else
            take(entry.relativePath);
    }
}

bool DigestCache::installedEntry(
    const QString& root, const FileReplaceSpecification& replace, qint64 readAtNs, Entry* entry) const
{
    entry->relativePath = replace.pureDestFilePath();
    // A copy reused from an earlier attempt was not fetched this time; its
    // file is simply hashed by the next run.
    const ContentSum& md5 = replace.hasUnzip() ? replace.unzipMd5 : replace.fetchedMd5;
    if (!md5.isDigest() || md5.algorithm() != algorithm || !stampOf(root + entry->relativePath, entry->stamp)
        || !isSettled(entry->stamp, readAtNs))
        return false;
    const QByteArray raw = md5.digest();
    std::copy_n(raw.constData(), raw.size(), entry->md5.begin());
    entry->confirmed = true;
    return true;
}

bool DigestCache::saveWithInstalled(const QString& root, const FileSpecifications& lists, qint64 readAtNs)
{
    // A later record of a path must override an earlier one, also by
    // leaving no entry, which only the entries in memory do.
    std::vector<size_t> hashes;
    hashes.reserve(size_t(lists.replaceList.size()));
    for (const FileReplaceSpecification& replace : lists.replaceList)
        hashes.push_back(qHash(replace.pureDestFilePath()));
    std::sort(hashes.begin(), hashes.end());
    if (std::adjacent_find(hashes.cbegin(), hashes.cend()) != hashes.cend()) {
        insertInstalled(root, lists, readAtNs);
        return save();
    }
    hashes = std::vector<size_t>();
    for (const FileReplaceSpecification& replace : lists.replaceList)
        take(replace.pureDestFilePath());
    const Installed installed { root + QLatin1Char('/'), lists, readAtNs };
    return save(&installed);
}

bool DigestCache::writePayload(QFile& file, const Installed* installed, QByteArray* digest) const
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
    const auto append = [&](const Entry& entry) {
        const Stamp& stamp = entry.stamp;
        out << entry.relativePath << stamp.device << stamp.inode << stamp.size << stamp.modifiedNs
            << stamp.changedNs;
        out.writeRawData(entry.md5.data(), digestSize());
        return piece.size() < PieceSize || flush();
    };
    const qint64 countAt = file.pos();
    out << quint32(entries.size());
    for (const Entry& entry : entries) {
        if (!append(entry))
            return false;
    }
    quint32 added = 0;
    if (installed) {
        // The stamps are read a batch at a time on two threads; the entries
        // go out in the list's order.
        const QList<FileReplaceSpecification>& records = installed->lists.replaceList;
        std::vector<Entry> batch;
        std::vector<char> stamped;
        for (qsizetype first = 0; first < records.size(); first += InstalledBatchSize) {
            const size_t count = size_t(qMin(InstalledBatchSize, records.size() - first));
            batch.assign(count, Entry());
            stamped.assign(count, false);
            onTwoThreads(count, [&](size_t i) {
                stamped[i] = installedEntry(
                    installed->root, records[first + qsizetype(i)], installed->readAtNs, &batch[i]);
            });
            for (size_t i = 0; i < count; ++i) {
                if (!stamped[i])
                    continue;
                if (!append(batch[i]))
                    return false;
                ++added;
            }
        }
    }
    if (!flush())
        return false;
    if (added == 0) {
        *digest = hash.result();
        return true;
    }
    // The count leads the payload and is known only now: set it, and hash
    // the payload again from the file.
    const qint64 end = file.pos();
    buffer.seek(0);
    piece.resize(0);
    out << quint32(entries.size() + added);
    if (!file.seek(countAt) || file.write(piece) != piece.size() || !file.flush() || !file.seek(countAt))
        return false;
    hash.reset();
    while (file.pos() < end) {
        const QByteArray read = file.read(qMin(PieceSize, end - file.pos()));
        if (read.isEmpty())
            return false;
        hash.addData(read);
    }
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
    reserve(qMin(qsizetype(count), payload.size() / MinEntrySize));
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        Entry entry;
        Stamp& stamp = entry.stamp;
        in >> entry.relativePath >> stamp.device >> stamp.inode >> stamp.size >> stamp.modifiedNs
            >> stamp.changedNs;
        if (in.readRawData(entry.md5.data(), digestSize()) != digestSize())
            return false;
        put(std::move(entry));
    }
    return in.status() == QDataStream::Ok && in.atEnd();
}

qsizetype DigestCache::slotOf(const QString& relativePath) const
{
    const size_t mask = size_t(table.size()) - 1;
    for (size_t slot = qHash(relativePath, QHashSeed::globalSeed()) & mask;; slot = (slot + 1) & mask) {
        const qint32 index = table.at(qsizetype(slot));
        if (index < 0 || entries.at(index).relativePath == relativePath)
            return qsizetype(slot);
    }
}

void DigestCache::reserve(qsizetype count)
{
    entries.reserve(count);
    reserveSlots(count);
}

void DigestCache::reserveSlots(qsizetype count)
{
    if (table.size() >= 2 * count)
        return;
    qsizetype size = 16;
    while (size < 2 * count)
        size *= 2;
    table.fill(-1, size);
    for (qsizetype i = 0; i < entries.size(); ++i)
        table[slotOf(entries.at(i).relativePath)] = qint32(i);
}

void DigestCache::put(Entry entry)
{
    // Grown by doubling, so that a cache filled one entry at a time is
    // rehashed only a few times.
    if (table.size() < 2 * (entries.size() + 1))
        reserveSlots(2 * (entries.size() + 1));
    const qsizetype slot = slotOf(entry.relativePath);
    if (table.at(slot) >= 0) {
        entries[table.at(slot)] = std::move(entry);
        return;
    }
    table[slot] = qint32(entries.size());
    entries.append(std::move(entry));
}

void DigestCache::take(const QString& relativePath)
{
    if (table.isEmpty())
        return;
    size_t hole = size_t(slotOf(relativePath));
    const qint32 index = table.at(qsizetype(hole));
    if (index < 0)
        return;
    // The entries after the hole up to the next free slot move into it
    // unless their search starts after it, so that each stays reachable
    // from the slot its search starts at.
    const size_t mask = size_t(table.size()) - 1;
    table[qsizetype(hole)] = -1;
    for (size_t next = (hole + 1) & mask; table.at(qsizetype(next)) >= 0; next = (next + 1) & mask) {
        const size_t start
            = qHash(entries.at(table.at(qsizetype(next))).relativePath, QHashSeed::globalSeed()) & mask;
        const bool reachable = hole < next ? hole < start && start <= next : hole < start || start <= next;
        if (reachable)
            continue;
        table[qsizetype(hole)] = table.at(qsizetype(next));
        table[qsizetype(next)] = -1;
        hole = next;
    }
    // The last entry moves into the array's gap.
    const qint32 last = qint32(entries.size() - 1);
    if (index != last) {
        table[slotOf(entries.at(last).relativePath)] = index;
        entries[index] = std::move(entries[last]);
    }
    entries.removeLast();
}
