#include "newdirectory.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool NewDirectory::make(const QString& path, mode_t mode)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), mode) != 0)
        return false;
    // Through a descriptor of the directory just made: the name may meanwhile
    // have been swapped for a link, whose target must keep its mode.
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    const bool set = fd >= 0 && ::fchmod(fd, mode) == 0;
    if (fd >= 0)
        ::close(fd);
    return set;
}

bool NewDirectory::makePath(const QString& path, mode_t mode)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::stat(name.constData(), &info) == 0)
        return S_ISDIR(info.st_mode);
    // Outermost first: each missing directory is made in a parent that exists.
    for (qsizetype slash = name.indexOf('/', 1); slash > 0; slash = name.indexOf('/', slash + 1)) {
        const QByteArray above = name.left(slash);
        if (::stat(above.constData(), &info) == 0)
            continue;
        if (!make(QFile::decodeName(above), mode) && errno != EEXIST)
            return false;
    }
    return make(path, mode) || (::stat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode));
}
