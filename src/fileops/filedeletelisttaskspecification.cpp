#include "filedeletelisttaskspecification.h"

#include "fileops/filedeletetaskspecification.h"

#include <QDir>
#include <QDirIterator>
#include <QSet>

FileDeleteListTaskSpecification::FileDeleteListTaskSpecification(
    QList<QString>* deleteList, const InstallationLayout& layout, QObject* parent, double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , deleteList(deleteList)
    , layout(layout)
{ }

void FileDeleteListTaskSpecification::execute()
{
    Q_EMIT message(QStringLiteral("Starting deleting files"));
    makeSubtasksAndStart();
}

void FileDeleteListTaskSpecification::makeSubtasksAndStart()
{
    const QDir root(layout.root());
    QStringList entries = *deleteList;
    const QSet<QString> listed(entries.cbegin(), entries.cend());
    for (const QString& leftover : leftovers(root.path())) {
        if (!listed.contains(leftover))
            entries.append(leftover);
    }
    const int n = entries.size();
    for (const QString& entry : std::as_const(entries))
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

QStringList FileDeleteListTaskSpecification::leftovers(const QString& root)
{
    const QDir base(root);
    QStringList found;
    QDirIterator newFiles(root, { InstallationLayout::newFilePrefix() + QLatin1Char('*') },
        QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (newFiles.hasNext())
        found << base.relativeFilePath(newFiles.next());
    const QString oldDir = base.filePath(InstallationLayout::oldDirName());
    const QString prefix = InstallationLayout::oldCopyPrefix();
    for (const QString& name :
        QDir(oldDir).entryList({ prefix + QLatin1Char('*') }, QDir::Files | QDir::Hidden | QDir::System))
        found << InstallationLayout::oldDirName() + QLatin1Char('/') + name;
    return found;
}

void FileDeleteListTaskSpecification::userCanceled()
{ }

void FileDeleteListTaskSpecification::reset()
{
    clearSubTasks();
    TaskSpecification::reset();
}
