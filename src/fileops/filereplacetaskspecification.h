#ifndef FILEREPLACETASKSPECIFICATION_H
#define FILEREPLACETASKSPECIFICATION_H

#include "fileops/oldcopydirectory.h"
#include "manifest/filereplacespecification.h"
#include "manifest/installationlayout.h"
#include "tasks/composedtaskspecification.h"
#include "tasks/rollbackdatalist.h"

#include <QList>
#include <QString>

// Installs one downloaded file so that it can be undone and so that the path
// never lacks a complete content: the new version is copied or unpacked to a
// name of ours beside the target (and an unpacked one checked by MD5), then
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
    OldCopyDirectory ownOldCopies;
    OldCopyDirectory* oldCopies;
};

#endif
