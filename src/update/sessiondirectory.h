#ifndef SESSIONDIRECTORY_H
#define SESSIONDIRECTORY_H

#include <QString>

#include <functional>

// The temporary download directory of one update session:
// voxmeadow_temp_<N> in the system's temporary directory, created by this
// process, private to the user, and emptied and removed after success.
class SessionDirectory
{
public:
    SessionDirectory() = delete;

    static constexpr int Candidates = 1000;

    // "voxmeadow_temp_" inside the given system temporary directory.
    static QString base(const QString& systemTempPath);
    // Creates the first free candidate with mode 0700; an empty string when
    // none could be created. `beforeCreating` hears of each candidate just
    // before its creation, so that a record can name it first: a run killed
    // in between leaves no directory that nobody knows of.
    static QString create(const QString& systemTempPath,
        const std::function<void(const QString& candidate)>& beforeCreating = {});
    // True for a directory this updater may have created for a session:
    // voxmeadow_temp_<digits> directly in the system temporary directory,
    // not a symbolic link, owned by the current user.
    static bool isOwn(const QString& path);
    // Deletes everything below `path` without following symbolic links.
    static void empty(const QString& path);
    // Empties `path` and removes it; false when it is still there.
    static bool remove(const QString& path);
};

#endif
