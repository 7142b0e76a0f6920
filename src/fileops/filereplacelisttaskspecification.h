#ifndef FILEREPLACELISTTASKSPECIFICATION_H
#define FILEREPLACELISTTASKSPECIFICATION_H

#include "fileops/oldcopydirectory.h"
#include "manifest/filereplacespecification.h"
#include "manifest/installationlayout.h"
#include "tasks/composedtaskspecification.h"
#include "tasks/rollbackdatalist.h"

#include <QList>
#include <QString>

// Installs every file of an update: first the missing directories, then one
// file replacement per record, made when it starts, two at a time, all
// journalled together. When anything fails or the user cancels, the whole
// journal is undone.
class FileReplaceListTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT
public:
    FileReplaceListTaskSpecification(QList<FileReplaceSpecification>* replaceList, QList<QString>* deleteList,
        const InstallationLayout& layout, QObject* parent, double parentProgressRange);

    void makeSubtasksAndStart();
    int makeSubdirTasks();
    void makeFileReplaceTasks(bool haveDirTasks);
    // Flushes the file system of the installation (data and directory entries).

    QList<FileReplaceSpecification>* replaceList;
    QList<QString>* deleteList;
    RollbackDataList rollbackList;
    InstallationLayout layout;

public Q_SLOTS:
    void execute() override;
    void reset() override;
    void subtasksDone() override;

protected:
    TaskSpecification* makeSubTask(qsizetype index) override;

private:
    OldCopyDirectory oldCopies;
    double fileShare = 0.0;
};

#endif
