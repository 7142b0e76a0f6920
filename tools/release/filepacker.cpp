#include "filepacker.h"

#include "manifest/contenthasher.h"

#include <QFile>
#include <QSemaphore>
#include <QThreadPool>

#include <functional>
#include <memory>

#include <zlib.h>

namespace {

constexpr qint64 ChunkSize = 1024 * 1024;
// Below this a piece is hashed in place: handing it over would cost more.
constexpr qint64 SharedFrom = 64 * 1024;

// Both sums from one read of the data. MD5, the slower one, goes to a pool
// thread for a large piece while SHA-256 and `alongside` (whatever else is
// done with the same bytes) run here, so that a second core keeps the
// second digest from lengthening the publishing.
class Digester
{
public:
    bool add(const char* data, qint64 count, const std::function<bool()>& alongside = {})
    {
        const QByteArrayView piece(data, count);
        size += count;
        QSemaphore done;
        // Without a free pool thread everything runs here, never waiting for one.
        const bool shared = count >= SharedFrom && QThreadPool::globalInstance()->tryStart([&] {
            md5.addData(piece);
            done.release();
        });
        if (!shared)
            md5.addData(piece);
        sha256.addData(piece);
        const bool ok = !alongside || alongside();
        if (shared)
            done.acquire();
        return ok;
    }
    FileDigest result()
    {
        return { QString::fromLatin1(md5.result().toHex()), size,
            ContentSum::fromDigest(sha256.result(), ContentSum::Algorithm::Sha256) };
    }

private:
    ContentHasher md5 { ContentSum::Algorithm::Md5 };
    ContentHasher sha256 { ContentSum::Algorithm::Sha256 };
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

// Reads `in` to its end in chunks, hashing each and handing it to `sink`
// if given; the digest goes to `result` only when all was read and sunk.
bool digestChunks(
    QFile& in, FileDigest* result, QString* error, const std::function<bool(const char*, qint64)>& sink = {})
{
    Digester digester;
    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 count = in.read(chunk.data(), chunk.size());
        if (count < 0)
            return readFailed(in, error);
        if (count == 0)
            break;
        if (!digester.add(chunk.constData(), count, [&] { return !sink || sink(chunk.constData(), count); }))
            return false;
    }
    *result = digester.result();
    return true;
}

// Closes the gzip reader on every way out.
struct GzFileCloser
{
    void operator()(gzFile file) const { gzclose(file); }
};
using GzFile = std::unique_ptr<gzFile_s, GzFileCloser>;

} // namespace

bool FilePacker::copy(const QString& source, const QString& target, FileDigest* result, QString* error)
{
    QFile in(source);
    QFile out(target);
    if (!openSource(in, error) || !openTarget(out, error))
        return false;
    const bool read = digestChunks(
        in, result, error, [&](const char* data, qint64 count) { return writeAll(out, data, count, error); });
    return read && finishTarget(out, error);
}

bool FilePacker::digest(const QString& source, FileDigest* result, QString* error)
{
    QFile in(source);
    return openSource(in, error) && digestChunks(in, result, error);
}

bool FilePacker::digestUnpacked(const QString& source, FileDigest* result, QString* error)
{
    GzFile in(gzopen(QFile::encodeName(source).constData(), "rb"));
    if (!in) {
        *error = QStringLiteral("cannot read %1").arg(source);
        return false;
    }
    Digester digester;
    QByteArray chunk(ChunkSize, Qt::Uninitialized);
    for (;;) {
        const int count = gzread(in.get(), chunk.data(), unsigned(chunk.size()));
        if (count < 0)
            break;
        if (count == 0) {
            // A stream cut off in its middle ends without an error from gzread.
            int status = Z_OK;
            gzerror(in.get(), &status);
            if (status != Z_OK)
                break;
            *result = digester.result();
            return true;
        }
        digester.add(chunk.constData(), count);
    }
    *error = QStringLiteral("%1 does not unpack").arg(source);
    return false;
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
        const auto compress = [&] {
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
                if (!outDigest.add(outChunk.constData(), produced,
                        [&] { return writeAll(out, outChunk.constData(), produced, error); }))
                    return false;
            } while (gzip.stream.avail_out == 0 || (atEnd && status != Z_STREAM_END));
            return true;
        };
        if (!inDigest.add(inChunk.constData(), count, compress))
            return false;
    }
    if (!finishTarget(out, error))
        return false;
    *unpacked = inDigest.result();
    *packed = outDigest.result();
    return true;
}
