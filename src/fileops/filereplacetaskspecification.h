#ifndef FILEREPLACETASKSPECIFICATION_H
#define FILEREPLACETASKSPECIFICATION_H

#include "fileops/oldcopydirectory.h"
#include "manifest/filereplacespecification.h"
#include "manifest/installationlayout.h"
#include "tasks/composedtaskspecification.h"
#include "tasks/rollbackdatalist.h"

#include <QList>
#include <QString>

#include <sys/types.h>

// Installs one downloaded file so that it can be undone and so that the path
// never lacks a complete content: the new version is hard-linked (where the
// download and the installation share a file system), copied or unpacked to
// a name of ours beside the target (and an unpacked one checked by MD5), then
// renamed over the target while the installed version stays in "old". On
// success the journal goes to the replace list and the old copy is queued for
// deletion; on failure this task undoes its own steps at once.
class FileReplaceTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    FileReplaceTaskSpecification(FileReplaceSpecification& replaceSpecification, QList<QString>* deleteList,
        RollbackDataList* parentRollbackList, const InstallationLayout& layout, QObject* parent,
        double parentProgressRange);

    // Shares the old-copy names of one update between its replacements;
    // without it the task keeps a directory of its own. Not owned.
    void setOldCopyDirectory(OldCopyDirectory* directory);

    void makeSubtasksAndStart();

    FileReplaceSpecification replaceSpecification;
    QList<QString>* deleteList;
    RollbackDataList* parentRollbackList;
    RollbackDataList rollbackList;
    InstallationLayout layout;
    bool movedAside;
    // Where the installed version went in this run, relative to the
    // application directory.
    QString oldCopyName;
    // The new content until it is renamed over the target.
    QString newPath;

public Q_SLOTS:
    void execute() override;
    void reset() override;
    void subtasksDone() override;

private:
    // Installs a plain file by linking (or, when small, copying) the
    // download to the new-file name and committing it at once; false when
    // neither is possible here.
    bool installInline(const QString& source, const QString& target, const QString& oldCopy, mode_t mode);
    // Hands the journal on after success, or undoes this task's steps.
    void settle(bool installed);

    OldCopyDirectory ownOldCopies;
    OldCopyDirectory* oldCopies;
};

#endif
