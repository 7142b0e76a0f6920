#include "fileops/mappedfile.h"

#include <QFile>

#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

thread_local sigjmp_buf* busErrorExit = nullptr;
struct sigaction previousBusAction;

void onBusError(int signal, siginfo_t* info, void* context)
{
    if (busErrorExit)
        siglongjmp(*busErrorExit, 1);
    // Not in guarded work: whatever handled it before does.
    if (previousBusAction.sa_flags & SA_SIGINFO) {
        previousBusAction.sa_sigaction(signal, info, context);
        return;
    }
    ::sigaction(SIGBUS, &previousBusAction, nullptr);
    ::raise(signal);
}

QString errnoText(const QString& what, const QString& path)
{
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

MappedFile::~MappedFile()
{
    unmap();
    if (created)
        ::unlink(QFile::encodeName(path).constData());
}

void MappedFile::unmap()
{
    if (address)
        ::munmap(address, size_t(length));
    address = nullptr;
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool MappedFile::mapForReading(const QString& filePath, QString* error)
{
    path = filePath;
    fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    struct stat status;
    if (fd < 0 || ::fstat(fd, &status) != 0) {
        *error = errnoText(QStringLiteral("cannot open"), path);
        return false;
    }
    length = qint64(status.st_size);
    if (length == 0)
        return true;
    void* mapped = ::mmap(nullptr, size_t(length), PROT_READ, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        *error = errnoText(QStringLiteral("cannot map"), path);
        return false;
    }
    address = static_cast<unsigned char*>(mapped);
    return true;
}

bool MappedFile::createForWriting(const QString& filePath, qint64 size, QString* error)
{
    path = filePath;
    fd = ::open(
        QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = errnoText(QStringLiteral("cannot create"), path);
        return false;
    }
    created = true;
    length = size;
    if (length == 0)
        return true;
    const int reserved = ::posix_fallocate(fd, 0, off_t(length));
    if (reserved != 0) {
        errno = reserved;
        *error = errnoText(QStringLiteral("no room for %1 bytes in").arg(length), path);
        return false;
    }
    void* mapped = ::mmap(nullptr, size_t(length), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        *error = errnoText(QStringLiteral("cannot map"), path);
        return false;
    }
    address = static_cast<unsigned char*>(mapped);
    return true;
}

bool MappedFile::keep(QString* error)
{
    if (address)
        ::munmap(address, size_t(length));
    address = nullptr;
    const int closed = ::close(fd);
    fd = -1;
    if (closed != 0) {
        *error = errnoText(QStringLiteral("cannot write"), path);
        return false;
    }
    created = false;
    return true;
}

bool MappedFile::guarded(const std::function<void()>& work)
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        ::sigaction(SIGBUS, &action, &previousBusAction);
    });
    sigjmp_buf exit;
    if (sigsetjmp(exit, 1) != 0) {
        busErrorExit = nullptr;
        return false;
    }
    busErrorExit = &exit;
    work();
    busErrorExit = nullptr;
    return true;
}
