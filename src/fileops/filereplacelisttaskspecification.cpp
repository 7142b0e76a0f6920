#include "filereplacelisttaskspecification.h"

#include "fileops/dircreatetaskspecification.h"
#include "fileops/filereplacetaskspecification.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStringList>

FileReplaceListTaskSpecification::FileReplaceListTaskSpecification(
    QList<FileReplaceSpecification>* replaceList, QList<QString>* deleteList,
    const InstallationLayout& layout, QObject* parent, double parentProgressRange)
    : ComposedTaskSpecification(2, parentProgressRange, parent)
    , replaceList(replaceList)
    , deleteList(deleteList)
    , layout(layout)
    , oldCopies(&rollbackList)
{ }

void FileReplaceListTaskSpecification::execute()
{
    Q_EMIT message(QStringLiteral("Starting file updates"));
    makeSubtasksAndStart();
}

void FileReplaceListTaskSpecification::makeSubtasksAndStart()
{
    oldCopies.start(layout.root());
    const int dirCount = makeSubdirTasks();
    // A record per file and per created directory, and one for "old".
    rollbackList.reserve(rollbackList.size() + dirCount + replaceList->size() + 1);
    makeFileReplaceTasks(dirCount > 0);
    state = Running;
    executeSubTasks();
}

int FileReplaceListTaskSpecification::makeSubdirTasks()
{
    QString root = layout.root();
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    QSet<QString> seen;
    QStringList missing;
    for (const FileReplaceSpecification& record : std::as_const(*replaceList)) {
        // The directory part by hand: a file information object per file
        // costs more than the rest of this loop.
        const QString relative = record.pureDestFilePath();
        const qsizetype slash = relative.lastIndexOf(QLatin1Char('/'));
        const QString dir = slash < 0 ? layout.root() : root + relative.left(slash);
        if (seen.contains(dir))
            continue;
        seen.insert(dir);
        if (!QDir(dir).exists())
            missing.append(dir);
    }
    // A parent sorts before its children, so directories are created
    // outermost first and removed innermost first.
    missing.sort();

    const int count = missing.size();
    for (const QString& dir : std::as_const(missing))
        addSubTask(new DirCreateTaskSpecification(dir, &rollbackList, this, 0.1 / count));
    return count;
}

void FileReplaceListTaskSpecification::makeFileReplaceTasks(bool haveDirTasks)
{
    fileShare = (haveDirTasks ? 0.9 : 1.0) / double(qMax(qsizetype(1), replaceList->size()));
    addLazySubTasks(replaceList->size());
}

TaskSpecification* FileReplaceListTaskSpecification::makeSubTask(qsizetype index)
{
    FileReplaceSpecification record = replaceList->at(index);
    auto* task = new FileReplaceTaskSpecification(record, deleteList, &rollbackList, layout, this, fileShare);
    task->setOldCopyDirectory(&oldCopies);
    return task;
}

void FileReplaceListTaskSpecification::subtasksDone()
{
    if (getStateFromSubTasks() != Finished) {
        Q_EMIT message(QStringLiteral("rolling back file updates"));
        Q_EMIT message(rollbackList.rollback(this)
                ? QStringLiteral("The previous version is restored")
                : QStringLiteral("The previous version could not be restored completely"));
    }
    ComposedTaskSpecification::subtasksDone();
}

void FileReplaceListTaskSpecification::reset()
{
    clearSubTasks();
    rollbackList.rollback(this);
    TaskSpecification::reset();
}
