#include "verify/filedigest.h"

#include "manifest/contenthasher.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

constexpr qsizetype BufferSize = 256 * 1024;

class ReadDescriptor
{
public:
    explicit ReadDescriptor(const QByteArray& path)
        // A fifo put in a file's place must not block the compiler.
        : fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK))
    { }
    ~ReadDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    ReadDescriptor(const ReadDescriptor&) = delete;
    ReadDescriptor& operator=(const ReadDescriptor&) = delete;

    int get() const { return fd; }

private:
    int fd;
};

} // namespace

bool FileDigest::compute(const QByteArray& encodedPath, ContentSum::Algorithm algorithm, QByteArray* digest)
{
    const ReadDescriptor file(encodedPath);
    struct stat info;
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    // One buffer a thread, reused for every file it hashes.
    thread_local QByteArray buffer(BufferSize, Qt::Uninitialized);
    // A hasher a thread and algorithm too: its context costs more to make
    // than a small file costs to hash.
    thread_local ContentHasher md5(ContentSum::Algorithm::Md5);
    thread_local ContentHasher sha256(ContentSum::Algorithm::Sha256);
    ContentHasher& hash = algorithm == ContentSum::Algorithm::Md5 ? md5 : sha256;
    hash.reset();
    const qint64 size = info.st_size;
    qint64 total = 0;
    while (total < size) {
        const ssize_t count
            = ::read(file.get(), buffer.data(), size_t(qMin<qint64>(BufferSize, size - total)));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        hash.addData(QByteArrayView(buffer.constData(), count));
        total += count;
    }
    *digest = hash.result();
    return true;
}
