#ifndef NEWDIRECTORY_H
#define NEWDIRECTORY_H

#include <QString>

#include <sys/types.h>

// Directories the updater makes, with exactly the mode it means: mkdir
// alone is narrowed by the umask, and a umask of 000 would leave them open
// to every user's writes.
class NewDirectory
{
public:
    NewDirectory() = delete;

    // Installation and download directories.
    static constexpr mode_t Mode = 0755;

    // Creates `path`, whose parent must exist, with exactly `mode`; false
    // when the name is taken or it cannot be created.
    static bool make(const QString& path, mode_t mode = Mode);
    // Creates `path` and the directories above it that are missing, each
    // with exactly `mode`; true when `path` is a directory afterwards.
    // Existing directories, also links to directories, are used as they are.
    static bool makePath(const QString& path, mode_t mode = Mode);
};

#endif
