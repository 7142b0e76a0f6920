#ifndef FILEPACKER_H
#define FILEPACKER_H

#include <QString>
#include <QtGlobal>

// MD5 (lower-case hexadecimal) and size of a byte stream.
struct FileDigest
{
    QString md5;
    qint64 size = 0;
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
    static bool pack(const QString& source, const QString& target, FileDigest* unpacked, FileDigest* packed,
        QString* error);
};

#endif
