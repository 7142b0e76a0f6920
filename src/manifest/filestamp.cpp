#include "manifest/filestamp.h"

#include <QFile>

#include <sys/stat.h>

namespace {

qint64 nanoseconds(const timespec& time)
{
    return qint64(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

bool FileStamp::of(const QString& path, FileStamp& stamp, int* mode)
{
    struct stat status
    { };
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
        return false;
    stamp.device = quint64(status.st_dev);
    stamp.inode = quint64(status.st_ino);
    stamp.size = qint64(status.st_size);
    stamp.modifiedNs = nanoseconds(status.st_mtim);
    stamp.changedNs = nanoseconds(status.st_ctim);
    if (mode)
        *mode = int(status.st_mode & 07777);
    return true;
}

bool FileStamp::operator==(const FileStamp& other) const
{
    return device == other.device && inode == other.inode && size == other.size
        && modifiedNs == other.modifiedNs && changedNs == other.changedNs;
}
