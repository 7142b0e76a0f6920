#ifndef FILEPACKER_H
#define FILEPACKER_H

#include "manifest/contentsum.h"

#include <QString>
#include <QtGlobal>

// MD5 (lower-case hexadecimal), SHA-256 and size of a byte stream: the
// product ini lists the first, the release manifest the second.
struct FileDigest
{
    QString md5;
    qint64 size = 0;
    ContentSum sha256;
};

// Streams files into a release: plain copies and gzip packing, hashing what
// is read and what is written on the way, in fixed-size chunks so that
// memory does not grow with the file. Targets must not exist yet.
class FilePacker
{
public:
    FilePacker() = delete;

    static bool copy(const QString& source, const QString& target, FileDigest* result, QString* error);
    static bool digest(const QString& source, FileDigest* result, QString* error);
    // The digest of what a packed file unpacks to, read as the updater
    // unpacks it (zlib's gzip reader).
    static bool digestUnpacked(const QString& source, FileDigest* result, QString* error);
    static bool pack(const QString& source, const QString& target, FileDigest* unpacked, FileDigest* packed,
        QString* error);
};

#endif
