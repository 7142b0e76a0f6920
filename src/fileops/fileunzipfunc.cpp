#include "fileunzipfunc.h"

#include <QFileInfo>
#include <QTemporaryFile>

#include <zlib.h>

namespace {

const int bufferSize = 16384;
const qint64 progressStep = 16 * 1024 * 1024;

// Closes the stream on every way out; close() reports whether the stream
// ended cleanly.
class GzReader
{
public:
    explicit GzReader(const QString& path)
        : file(gzopen(path.toUtf8().constData(), "rb"))
    {
    }
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
{
}

bool FileUnzipFunc::run()
{
    return unzipFile(targetPath, sourcePath, [this](qreal fraction) { Q_EMIT progress(fraction); });
}

bool FileUnzipFunc::unzipFile(const QString& outPath, const QString& inPath,
                              const std::function<void(qreal)>& onProgress)
{
    const QFileInfo target(outPath);
    if (target.exists() || target.isSymLink())
        return false;

    // Removed automatically unless it was renamed to outPath.
    QTemporaryFile partial(target.absolutePath() + QStringLiteral("/.") + target.fileName()
                           + QStringLiteral(".XXXXXX"));
    if (!partial.open())
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
        if (partial.write(buffer, count) != count)
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

    if (!partial.flush())
        return false;
    partial.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                           | QFileDevice::ReadUser | QFileDevice::WriteUser
                           | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    // Renaming never replaces an existing file, so a target that appeared
    // meanwhile is kept and the unpack fails.
    if (!partial.rename(outPath))
        return false;
    // Automatic removal would now delete the file under its new name.
    partial.setAutoRemove(false);
    return true;
}
