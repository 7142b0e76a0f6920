#ifndef SESSIONDIRECTORY_H
#define SESSIONDIRECTORY_H

#include <QString>
#include <QStringList>

#include <functional>

// The temporary download directory of one update session:
// voxmeadow_temp_<random letters and digits> in the system's temporary
// directory, created by this process, private to the user, noting the
// installation it serves, and emptied and removed after success. Its name
// cannot be guessed, so other users cannot take it first. Earlier versions
// numbered these directories voxmeadow_temp_<N>; such a directory is
// still recognised as the user's own.
class SessionDirectory
{
public:
    SessionDirectory() = delete;

    // "voxmeadow_temp_" inside the given system temporary directory.
    static QString base(const QString& systemTempPath);
    // Creates a new directory with mode 0700 under an unpredictable name and
    // notes `installationRoot` in it; an empty string when none could be
    // created. `beforeCreating` hears of each candidate just before its
    // creation, so that a record can name it first: a run killed in between
    // leaves no directory that nobody knows of.
    static QString create(const QString& systemTempPath, const QString& installationRoot,
        const std::function<void(const QString& candidate)>& beforeCreating = {});
    // True for a directory this updater may have created for a session:
    // named like one directly in the system temporary directory, not a
    // symbolic link, owned by the current user.
    static bool isOwn(const QString& path);
    // True for a session directory, in any temporary directory, that this
    // updater created for the installation at `installationRoot`: named
    // like one, not a symbolic link, owned by the current user and noting
    // that installation.
    static bool belongsTo(const QString& path, const QString& installationRoot);
    // The session directories in the system temporary directory that were
    // created for the installation at `installationRoot`.
    static QStringList ofInstallation(const QString& systemTempPath, const QString& installationRoot);
    // Deletes everything below `path` without following symbolic links.
    static void empty(const QString& path);
    // Empties `path` and removes it; false when it is still there.
    static bool remove(const QString& path);
};

#endif
