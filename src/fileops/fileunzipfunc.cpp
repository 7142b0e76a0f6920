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

FileUnzipFunc::FileUnzipFunc(const QString& sourcePath, const QString& targetPath)
    : SlowFileOpFunc(sourcePath, targetPath)
{ }

bool FileUnzipFunc::run()
{
    return unzipFile(targetPath, sourcePath, [this](qreal fraction) { Q_EMIT progress(fraction); });
}

bool FileUnzipFunc::unzipFile(
    const QString& outPath, const QString& inPath, const std::function<void(qreal)>& onProgress)
{
    NewFile out(outPath);
    if (!out.isOpen())
        return false;

    GzReader in(inPath);
    if (!in.isOpen())
        return false;
    gzrewind(in.handle());

    // Progress follows the packed bytes read, which end at the file's size.
    const qint64 packedSize = QFileInfo(inPath).size();
    qint64 written = 0;
    char buffer[bufferSize];
    for (;;) {
        const int count = gzread(in.handle(), buffer, bufferSize);
        if (count < 0)
            return false;
        if (count == 0)
            break;
        if (!out.write(buffer, count))
            return false;
        if (onProgress && packedSize > 0 && (written + count) / progressStep != written / progressStep)
            onProgress(qMin<qreal>(1.0, qreal(gzoffset(in.handle())) / qreal(packedSize)));
        written += count;
    }

    // gzread ends without an error when the input stops in the middle of a
    // gzip stream; zlib reports that only through gzerror and gzclose.
    int streamError = Z_OK;
    gzerror(in.handle(), &streamError);
    if (streamError != Z_OK || !in.close())
        return false;
    return out.keep();
}
