#include "filedeletelisttaskspecification.h"

#include "app/configuration.h"
#include "fileops/filedeletetaskspecification.h"

#include <QDir>

FileDeleteListTaskSpecification::FileDeleteListTaskSpecification(QList<QString>* deleteList,
                                                                 QObject* parent,
                                                                 double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , deleteList(deleteList)
{
}

void FileDeleteListTaskSpecification::execute()
{
    Q_EMIT message(QStringLiteral("Starting deleting files"));
    makeSubtasksAndStart();
}

void FileDeleteListTaskSpecification::makeSubtasksAndStart()
{
    const QDir root(Configuration::getAppRootPath());
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
        QDir(Configuration::getAppRootPath()).rmdir(QStringLiteral("old"));
    ComposedTaskSpecification::subtasksDone();
}

void FileDeleteListTaskSpecification::reset()
{
    clearSubTasks();
    TaskSpecification::reset();
}
