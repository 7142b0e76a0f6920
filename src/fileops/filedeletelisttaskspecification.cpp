#include "filedeletelisttaskspecification.h"

#include "fileops/filedeletetaskspecification.h"
#include "fileops/leftoverscanfunc.h"
#include "fileops/oldcopydirectory.h"
#include "tasks/asyncrun.h"

#include <QDir>
#include <QDirIterator>
#include <QSet>
#include <QThreadPool>

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
    state = Running;
    shippedFilesLeft = 0;
    // The walk over the whole installation goes to the pool: with hundreds
    // of thousands of files it would stall the window.
    auto* scan = new LeftoverScanFunc(layout.root());
    const quint64 run = ++scanRun;
    connect(
        scan, &LeftoverScanFunc::scanned, this,
        [this, run](const QStringList& found) {
            if (run == scanRun)
                startDeleting(found);
        },
        Qt::QueuedConnection);
    scan->moveToThread(nullptr);
    QThreadPool::globalInstance()->start(new ASyncRun(scan), 0);
}

void FileDeleteListTaskSpecification::startDeleting(const QStringList& found)
{
    const QDir root(layout.root());
    QStringList entries = *deleteList;
    const QSet<QString> listed(entries.cbegin(), entries.cend());
    for (const QString& leftover : found) {
        if (!listed.contains(leftover))
            entries.append(leftover);
    }
    const int n = entries.size();
    const QString oldCopies
        = InstallationLayout::oldDirName() + QLatin1Char('/') + InstallationLayout::oldCopyPrefix();
    for (const QString& entry : std::as_const(entries)) {
        auto* task = new FileDeleteTaskSpecification(false, root.filePath(entry), this, 1.0 / n);
        // An old copy or a leftover left behind is no file of the release.
        if (listed.contains(entry) && !entry.startsWith(oldCopies))
            connect(task, &FileDeleteTaskSpecification::notDeleted, this, [this] { ++shippedFilesLeft; });
        addSubTask(task);
    }
    state = Running;
    executeSubTasks();
}

void FileDeleteListTaskSpecification::subtasksDone()
{
    const bool finished = getStateFromSubTasks() == Finished;
    // The directory of old copies goes once nothing is left in it; it stays
    // while it still holds old copies of the updater's own files.
    if (finished)
        QDir(layout.root()).rmdir(InstallationLayout::oldDirName());
    if (finished && shippedFilesLeft > 0) {
        Q_EMIT message(QStringLiteral("%1 files that this version no longer ships could not be deleted; the "
                                      "next run deletes them")
                           .arg(shippedFilesLeft));
        errorCancel();
        return;
    }
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
    // An "old" that is a link is not ours: nothing is deleted through it.
    if (!OldCopyDirectory::isReal(root))
        return found;
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
    // A scan of this run still under way is heard no more.
    ++scanRun;
    clearSubTasks();
    TaskSpecification::reset();
}
