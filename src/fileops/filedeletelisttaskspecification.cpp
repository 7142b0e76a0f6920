#include "filedeletelisttaskspecification.h"

#include "fileops/filedeletetaskspecification.h"

#include <QDir>

FileDeleteListTaskSpecification::FileDeleteListTaskSpecification(QList<QString>* deleteList,
                                                                 const InstallationLayout& layout,
                                                                 QObject* parent,
                                                                 double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , deleteList(deleteList)
    , layout(layout)
{
}

void FileDeleteListTaskSpecification::execute()
{
    Q_EMIT message(QStringLiteral("Starting deleting files"));
    makeSubtasksAndStart();
}

void FileDeleteListTaskSpecification::makeSubtasksAndStart()
{
    const QDir root(layout.root());
    const int n = deleteList->size();
    for (const QString& entry : std::as_const(*deleteList))
        addSubTask(new FileDeleteTaskSpecification(false, root.filePath(entry), this, 1.0 / n));
    state = Running;
    executeSubTasks();
}

void FileDeleteListTaskSpecification::subtasksDone()
{
    // The directory of old copies goes once nothing is left in it; it stays
    // while it still holds old copies of the updater's own files.
    if (getStateFromSubTasks() == Finished)
        QDir(layout.root()).rmdir(InstallationLayout::oldDirName());
    ComposedTaskSpecification::subtasksDone();
}

void FileDeleteListTaskSpecification::reset()
{
    clearSubTasks();
    TaskSpecification::reset();
}
