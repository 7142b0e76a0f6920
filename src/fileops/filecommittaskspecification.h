#ifndef FILECOMMITTASKSPECIFICATION_H
#define FILECOMMITTASKSPECIFICATION_H

#include "fileops/fastfileoptaskspecification.h"

#include <sys/types.h>

// Puts a completely written new file in place of `path` with one rename, so
// the path holds either its previous or its new content at every moment.
// The previous content, when there is one, stays reachable as `keptPath` (a
// hard link, or a copy where links are impossible) and the journal records a
// Replace that moves it back; a new path is recorded as a created file.
class FileCommitTaskSpecification : public FastFileOpTaskSpecification
{
    Q_OBJECT
public:
    // `keptPath` empty: `path` has no previous content to keep.
    FileCommitTaskSpecification(const QString& newPath, const QString& path, const QString& keptPath,
        mode_t mode, RollbackDataList* rollbackList, QObject* parent, double parentProgressRange);

    // The same step without a task, for an installation that does it
    // inline: false with *failure saying what went wrong. newFileMode: the
    // new file's permission bits where the caller knows them, so that equal
    // ones are not set again.
    static bool commit(const QString& newPath, const QString& path, const QString& keptPath, mode_t mode,
        RollbackDataList* rollbackList, QString* failure, int newFileMode = -1);

public Q_SLOTS:
    bool doOp() override;

private:
    static bool keepPrevious(const QString& path, const QString& keptPath);

    QString newPath;
    QString keptPath;
    mode_t mode;
};

#endif
