#include "filepacker.h"

#include <QCryptographicHash>
#include <QFile>

#include <zlib.h>

namespace {

constexpr qint64 ChunkSize = 1024 * 1024;

class Digester
{
public:
    void add(const char* data, qint64 count)
    {
        hash.addData(QByteArrayView(data, count));
        size += count;
    }
    FileDigest result() const { return { QString::fromLatin1(hash.result().toHex()), size }; }

private:
    QCryptographicHash hash { QCryptographicHash::Md5 };
    qint64 size = 0;
};

bool openSource(QFile& file, QString* error)
{
    if (file.open(QIODevice::ReadOnly))
        return true;
    *error = QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
    return false;
}

bool openTarget(QFile& file, QString* error)
{
    // NewOnly never follows or replaces an entry that is already there.
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return true;
    *error = QStringLiteral("cannot create %1: %2").arg(file.fileName(), file.errorString());
    return false;
}

bool writeAll(QFile& file, const char* data, qint64 count, QString* error)
{
    if (file.write(data, count) == count)
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
    return false;
}

bool finishTarget(QFile& file, QString* error)
{
    if (file.flush())
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
    return false;
}

bool readFailed(QFile& file, QString* error)
{
    *error = QStringLiteral("cannot read %1: %2").arg(file.fileName(), file.errorString());
    return false;
}

// Releases the deflate state on every way out.
class GzipStream
{
public:
    GzipStream()
    {
        // 16 added to the window bits asks zlib for a gzip header and trailer.
        ok = deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~GzipStream()
    {
        if (ok)
            deflateEnd(&stream);
    }
    GzipStream(const GzipStream&) = delete;
    GzipStream& operator=(const GzipStream&) = delete;

    z_stream stream {};
    bool ok = false;
};

} // namespace

bool FilePacker::copy(const QString& source, const QString& target, FileDigest* result, QString* error)
{
    QFile in(source);
    QFile out(target);
    if (!openSource(in, error) || !openTarget(out, error))
        return false;
    Digester digester;
    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 count = in.read(chunk.data(), chunk.size());
        if (count < 0)
            return readFailed(in, error);
        if (count == 0)
            break;
        digester.add(chunk.constData(), count);
        if (!writeAll(out, chunk.constData(), count, error))
            return false;
    }
    if (!finishTarget(out, error))
        return false;
    *result = digester.result();
    return true;
}

bool FilePacker::digest(const QString& source, FileDigest* result, QString* error)
{
    QFile in(source);
    if (!openSource(in, error))
        return false;
    Digester digester;
    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 count = in.read(chunk.data(), chunk.size());
        if (count < 0)
            return readFailed(in, error);
        if (count == 0)
            break;
        digester.add(chunk.constData(), count);
    }
    *result = digester.result();
    return true;
}

bool FilePacker::pack(
    const QString& source, const QString& target, FileDigest* unpacked, FileDigest* packed, QString* error)
{
    QFile in(source);
    QFile out(target);
    if (!openSource(in, error) || !openTarget(out, error))
        return false;
    GzipStream gzip;
    if (!gzip.ok) {
        *error = QStringLiteral("cannot start compression for %1").arg(source);
        return false;
    }
    Digester inDigest;
    Digester outDigest;
    QByteArray inChunk(ChunkSize, Qt::Uninitialized);
    QByteArray outChunk(ChunkSize, Qt::Uninitialized);
    bool atEnd = false;
    while (!atEnd) {
        const qint64 count = in.read(inChunk.data(), inChunk.size());
        if (count < 0)
            return readFailed(in, error);
        atEnd = count == 0;
        inDigest.add(inChunk.constData(), count);
        gzip.stream.next_in = reinterpret_cast<Bytef*>(inChunk.data());
        gzip.stream.avail_in = uInt(count);
        int status = Z_OK;
        do {
            gzip.stream.next_out = reinterpret_cast<Bytef*>(outChunk.data());
            gzip.stream.avail_out = uInt(outChunk.size());
            status = deflate(&gzip.stream, atEnd ? Z_FINISH : Z_NO_FLUSH);
            if (status == Z_STREAM_ERROR) {
                *error = QStringLiteral("compression of %1 failed").arg(source);
                return false;
            }
            const qint64 produced = outChunk.size() - qint64(gzip.stream.avail_out);
            outDigest.add(outChunk.constData(), produced);
            if (!writeAll(out, outChunk.constData(), produced, error))
                return false;
        } while (gzip.stream.avail_out == 0 || (atEnd && status != Z_STREAM_END));
    }
    if (!finishTarget(out, error))
        return false;
    *unpacked = inDigest.result();
    *packed = outDigest.result();
    return true;
}
