#ifndef OLDCOPYDIRECTORY_H
#define OLDCOPYDIRECTORY_H

#include <QSet>
#include <QString>

class FileReplaceSpecification;
class QObject;
class RollbackDataList;

// The directory "old" below the application directory, where the previous
// versions of replaced files wait until the update ends, and the names given
// out in it during one update. Two installed files with the same name in
// different directories must not share an old copy, or a rollback would
// restore one file's content into the other; the first one gets the plain
// name, every later one a numbered name, e.g. "old/_old_lib.so" and then
// "old/_old_2_lib.so", "old/_old_3_lib.so".
class OldCopyDirectory
{
public:
    // `journal` records the creation of "old"; it is not owned.
    explicit OldCopyDirectory(RollbackDataList* journal);

    // Starts a new update below `appRootPath`; forgets every name given out.
    void start(const QString& appRootPath);

    // The name, relative to the application directory, under which the
    // previous version of `record` is kept in this update.
    QString claim(const FileReplaceSpecification& record);

    // Creates "old" when it is missing and journals the creation, so that a
    // rollback removes it again. An "old" that is a link or no directory is
    // removed and made anew. Failures are left to the rename into it.
    void ensureExists();

    // Whether "old" below `appRootPath` is a directory itself, not a link:
    // only then are the old copies in it the updater's to delete.
    static bool isReal(const QString& appRootPath);

private:
    RollbackDataList* journal;
    QString appRootPath;
    QSet<QString> claimed;
};

#endif
