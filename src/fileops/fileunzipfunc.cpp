#include "fileunzipfunc.h"

#include "fileops/newfile.h"

#include <QFileInfo>

#include <zlib.h>

namespace {

const int bufferSize = 16384;
const qint64 progressStep = NewFile::progressStep;

// Closes the stream on every way out; close() reports whether the stream
// ended cleanly.
class GzReader
{
public:
    explicit GzReader(const QString& path)
        : file(gzopen(path.toUtf8().constData(), "rb"))
    { }
    ~GzReader()
    {
        if (file)
            gzclose(file);
    }
    GzReader(const GzReader&) = delete;
    GzReader& operator=(const GzReader&) = delete;

    bool isOpen() const { return file != nullptr; }
    gzFile handle() const { return file; }

    bool close()
    {
        const int result = gzclose(file);
        file = nullptr;
        return result == Z_OK;
    }

private:
    gzFile file;
};

} // namespace

FileUnzipFunc::FileUnzipFunc(const QString& sourcePath, const QString& targetPath, qint64 sizeLimit)
    : SlowFileOpFunc(sourcePath, targetPath)
    , sizeLimit(sizeLimit)
{ }

bool FileUnzipFunc::run()
{
    const Unpacked result
        = unpack(targetPath, sourcePath, sizeLimit, [this](qreal fraction) { Q_EMIT progress(fraction); });
    if (result == Unpacked::PastLimit)
        Q_EMIT message(
            QStringLiteral("'%1' unpacks to more than the %2 bytes listed").arg(sourcePath).arg(sizeLimit));
    return result == Unpacked::Complete;
}

bool FileUnzipFunc::unzipFile(const QString& outPath, const QString& inPath, qint64 sizeLimit,
    const std::function<void(qreal)>& onProgress)
{
    return unpack(outPath, inPath, sizeLimit, onProgress) == Unpacked::Complete;
}

FileUnzipFunc::Unpacked FileUnzipFunc::unpack(const QString& outPath, const QString& inPath, qint64 sizeLimit,
    const std::function<void(qreal)>& onProgress)
{
    NewFile out(outPath);
    if (!out.isOpen())
        return Unpacked::Failed;

    GzReader in(inPath);
    if (!in.isOpen())
        return Unpacked::Failed;
    gzrewind(in.handle());

    // Progress follows the packed bytes read, which end at the file's size.
    const qint64 packedSize = QFileInfo(inPath).size();
    qint64 written = 0;
    char buffer[bufferSize];
    for (;;) {
        const int count = gzread(in.handle(), buffer, bufferSize);
        if (count < 0)
            return Unpacked::Failed;
        if (count == 0)
            break;
        if (sizeLimit != NoLimit && written + count > sizeLimit)
            return Unpacked::PastLimit;
        if (!out.write(buffer, count))
            return Unpacked::Failed;
        if (onProgress && packedSize > 0 && (written + count) / progressStep != written / progressStep)
            onProgress(qMin<qreal>(1.0, qreal(gzoffset(in.handle())) / qreal(packedSize)));
        written += count;
    }

    // gzread ends without an error when the input stops in the middle of a
    // gzip stream; zlib reports that only through gzerror and gzclose.
    int streamError = Z_OK;
    gzerror(in.handle(), &streamError);
    if (streamError != Z_OK || !in.close())
        return Unpacked::Failed;
    return out.keep() ? Unpacked::Complete : Unpacked::Failed;
}
