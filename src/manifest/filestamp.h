#ifndef FILESTAMP_H
#define FILESTAMP_H

#include <QString>
#include <QtGlobal>

// What identifies a regular file's state: device, inode, size and the
// modification and status change times in nanoseconds. Every write to a
// file moves its status change time, so an unchanged stamp means unchanged
// content.
struct FileStamp
{
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;

    // The stamp of a regular file at path (a link is not followed); false
    // for anything else or when the file cannot be examined. The file's
    // permission bits go to `mode` when it is given: they are no part of
    // the stamp, but come with it for free.
    static bool of(const QString& path, FileStamp& stamp, int* mode = nullptr);

    bool operator==(const FileStamp& other) const;
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

#endif
