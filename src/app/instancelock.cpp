#include "app/instancelock.h"

#include <QFile>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(const QString& path)
    // Close-on-exec: the client started after an update must not inherit it.
    : fd(path.isEmpty() ? -1
                        : ::open(QFile::encodeName(path).constData(),
                            O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, S_IRUSR | S_IWUSR))
    , locked(false)
{ }

InstanceLock::~InstanceLock()
{
    if (fd >= 0)
        ::close(fd);
}

bool InstanceLock::tryLock()
{
    if (!locked && fd >= 0)
        locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    return locked;
}
