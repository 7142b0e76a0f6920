#ifndef PRIVATERUNTIMEDIRECTORY_H
#define PRIVATERUNTIMEDIRECTORY_H

#include <QString>
#include <QStringList>

// A directory that only the current user can enter, for the updater's lock
// file and local socket: nobody else can create, replace or remove a name in
// it. XDG_RUNTIME_DIR when it qualifies; otherwise a directory of our own in
// /tmp and, should another user have taken that name, one in the home
// directory. TMPDIR plays no part, so every start of one user finds the same
// place.
class PrivateRuntimeDirectory
{
public:
    // The directory, or empty when none qualifies.
    static QString locate();
    // `runtimeDir` is used as it is when it qualifies; each of `ownCandidates`
    // is created when missing, and the first that qualifies is the answer.
    static QString locate(const QString& runtimeDir, const QStringList& ownCandidates);

    // A directory (not a link) owned by the current user that no one else
    // may enter.
    static bool isPrivate(const QString& path);
};

#endif
