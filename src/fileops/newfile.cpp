#include "fileops/newfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const int bufferSize = 1 << 16;

int createExclusively(const QByteArray& path)
{
    // Readable too: a writer may have to go over what it wrote.
    return ::open(path.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

} // namespace

NewFile::NewFile(const QString& path, Taken taken)
    : path(path)
{
    const QByteArray name = QFile::encodeName(path);
    fd = createExclusively(name);
    // One more attempt only: a name taken again at once is being fought over.
    if (fd < 0 && errno == EEXIST && taken == Replace && ::unlink(name.constData()) == 0)
        fd = createExclusively(name);
}

NewFile::~NewFile()
{
    if (fd < 0)
        return;
    ::close(fd);
    ::unlink(QFile::encodeName(path).constData());
}

bool NewFile::write(const char* data, qint64 size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

bool NewFile::copyFrom(int sourceFd, const std::function<void(qint64)>& onStep)
{
    qint64 total = 0;
    const auto advance = [&](qint64 count) {
        if (onStep && (total + count) / progressStep != total / progressStep)
            onStep(total + count);
        total += count;
    };
    // In-kernel copy where the file systems allow it, plain reads otherwise.
    // Without a listener one large request keeps the calls to a minimum;
    // with one, a request per step lets it hear of each step as it is done.
    const size_t request = onStep ? size_t(progressStep) : size_t(1) << 30;
    for (;;) {
        const ssize_t copied = ::copy_file_range(sourceFd, nullptr, fd, nullptr, request, 0);
        if (copied == 0)
            return true;
        if (copied > 0) {
            advance(copied);
            continue;
        }
        if (errno == EINTR)
            continue;
        if (errno != EXDEV && errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP)
            return false;
        break;
    }
    char buffer[bufferSize];
    for (;;) {
        const ssize_t count = ::read(sourceFd, buffer, sizeof(buffer));
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0)
            return false;
        if (count == 0)
            return true;
        if (!write(buffer, count))
            return false;
        advance(count);
    }
}

bool NewFile::keep()
{
    const int closing = fd;
    fd = -1;
    if (::close(closing) == 0)
        return true;
    ::unlink(QFile::encodeName(path).constData());
    return false;
}

bool NewFile::copy(const QString& source, const QString& target, const std::function<void(qreal)>& onProgress)
{
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    NewFile out(target);
    std::function<void(qint64)> onStep;
    if (onProgress) {
        // The size is looked up at the first step, so that a file shorter
        // than a step costs no extra call.
        onStep = [in, size = qint64(-1), &onProgress](qint64 copied) mutable {
            struct stat info;
            if (size < 0)
                size = ::fstat(in, &info) == 0 ? qint64(info.st_size) : 0;
            if (size > 0)
                onProgress(qMin<qreal>(1.0, qreal(copied) / qreal(size)));
        };
    }
    const bool ok = out.isOpen() && out.copyFrom(in, onStep) && out.keep();
    ::close(in);
    return ok;
}
