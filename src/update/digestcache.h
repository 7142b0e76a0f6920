#ifndef DIGESTCACHE_H
#define DIGESTCACHE_H

#include "manifest/filestamp.h"
#include "manifest/contentsum.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <array>

class FileReplaceSpecification;
class FileSpecifications;
class QFile;

// Digests of installed files, remembered together with what identifies
// the file's state: device, inode, size and the modification and status
// change times in nanoseconds. Every write to a file moves its status change
// time, so a file whose stamp is unchanged still has the remembered content
// and need not be read again. A stamp taken in the clock tick in which the
// file last changed is never trusted: a later write in the same tick would
// leave it as it is.
//
// The cache lives in one file of its own in the installation directory. It
// is replaced as a whole (temporary file, then rename) and carries a digest
// of its content; a missing, unreadable, truncated or otherwise damaged file
// loads as an empty cache, so that every file is hashed. A cache holds the
// digests of one algorithm, that of the releases it serves: a cache of the
// other loads empty and is replaced, so that an MD5 it remembers never
// stands in for a SHA-256 digest.
class DigestCache
{
public:
    using Stamp = FileStamp;

    // Name of the cache file in the installation directory.
    static QString fileName();
    // The clock that file times are taken from, read now, in nanoseconds.
    static qint64 fileClockNowNs();
    static bool stampOf(const QString& path, Stamp& stamp, int* mode = nullptr)
    {
        return FileStamp::of(path, stamp, mode);
    }
    // Whether a stamp read at readAtNs shows no change in the clock tick of
    // that moment, so that any later write moves it.
    static bool isSettled(const Stamp& stamp, qint64 readAtNs);

    explicit DigestCache(
        const QString& cacheFilePath, ContentSum::Algorithm algorithm = ContentSum::Algorithm::Md5);

    // Replaces the content with the cache file's; false (and empty) when
    // the file is missing or damaged.
    bool load();
    // Writes the content to the cache file through a temporary file beside it.
    bool save() const;
    // That temporary file: named like the installation's other new files, so
    // that one a killed run leaves is cleared with theirs.
    QString temporaryPath() const;

    // The digest remembered for relativePath with exactly this stamp, or an
    // empty sum.
    ContentSum digest(const QString& relativePath, const Stamp& stamp) const;
    // Remembers md5 for relativePath. Nothing is kept when the stamp, read
    // at readAtNs, is not settled or md5 is no digest of the cache's algorithm.
    void insert(const QString& relativePath, const Stamp& stamp, const ContentSum& md5, qint64 readAtNs);
    void remove(const QString& relativePath);
    // Looks up relativePath with exactly this stamp: true, and the digest in
    // `md5`, when one is remembered. The entry is confirmed when it is
    // `expected` and the stamp, read at readAtNs, is settled.
    bool recall(const QString& relativePath, const Stamp& stamp, const ContentSum& expected, qint64 readAtNs,
        ContentSum* md5);
    // Forgets the entries loaded but neither confirmed nor inserted since;
    // how many.
    qsizetype dropUnconfirmed();
    // Enters the files of the replace list, just installed below root, with
    // the digests the update verified: the unpacked digest of a packed file,
    // the download's of a plain one fetched in this run. Stamps are read
    // after readAtNs.
    void insertInstalled(const QString& root, const FileSpecifications& lists, qint64 readAtNs);
    // insertInstalled, then save(), but the installed files' entries go to
    // the file as their stamps are read instead of into memory first: an
    // update of hundreds of thousands of files would hold them all at once.
    bool saveWithInstalled(const QString& root, const FileSpecifications& lists, qint64 readAtNs);
    int size() const { return int(entries.size()); }

private:
    // The digest in place: a byte array of its own would cost more than
    // the rest of the entry.
    struct Entry
    {
        QString relativePath;
        Stamp stamp;
        std::array<char, ContentSum::Sha256Size> md5;
        bool confirmed = false;
    };

    // The slot that holds relativePath's entry, or the free slot where it
    // would go. There is at least one slot.
    qsizetype slotOf(const QString& relativePath) const;
    // The index of relativePath's entry when it has exactly this stamp, else -1.
    qint32 indexOf(const QString& relativePath, const Stamp& stamp) const;
    // Room for `count` entries, and a table of at least twice as many slots.
    void reserve(qsizetype count);
    void reserveSlots(qsizetype count);
    void put(Entry entry);
    void take(const QString& relativePath);

    // The installed files that saveWithInstalled writes after the entries.
    struct Installed
    {
        QString root;
        const FileSpecifications& lists;
        qint64 readAtNs;
    };

    bool save(const Installed* installed) const;
    // The entry with which the installed file of `replace` below `root`
    // (ending in "/") enters: its stamp and the digest the update verified.
    // False when it enters none; the entry's path is set either way.
    bool installedEntry(
        const QString& root, const FileReplaceSpecification& replace, qint64 readAtNs, Entry* entry) const;
    // Writes the payload to `file` in pieces, so that a cache of hundreds
    // of thousands of files is never held twice, with the entries of
    // `installed` when given; its MD5 into `digest`.
    bool writePayload(QFile& file, const Installed* installed, QByteArray* digest) const;
    bool deserialize(const QByteArray& payload);
    int digestSize() const { return ContentSum::digestSize(algorithm); }
    ContentSum sumOf(const Entry& entry) const;

    QString path;
    ContentSum::Algorithm algorithm;
    // The entries one after another, and a table of their indexes (-1 for a
    // free slot) kept at most half full and searched from the path's hash
    // onwards. A hash of nodes left about a third of its room unused.
    QList<Entry> entries;
    QList<qint32> table;
};

#endif
