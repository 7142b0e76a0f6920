#include "fileops/newfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

const int bufferSize = 1 << 16;

} // namespace

NewFile::NewFile(const QString& path)
    : path(path)
    , fd(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644))
{ }

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

bool NewFile::copyFrom(int sourceFd)
{
    // In-kernel copy where the file systems allow it, plain reads otherwise.
    for (;;) {
        const ssize_t copied = ::copy_file_range(sourceFd, nullptr, fd, nullptr, size_t(1) << 30, 0);
        if (copied == 0)
            return true;
        if (copied > 0 || errno == EINTR)
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

bool NewFile::copy(const QString& source, const QString& target)
{
    const int in = ::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    NewFile out(target);
    const bool ok = out.isOpen() && out.copyFrom(in) && out.keep();
    ::close(in);
    return ok;
}
