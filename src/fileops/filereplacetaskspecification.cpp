#include "filereplacetaskspecification.h"

#include "verify/checksignaturetaskspecification.h"
#include "fileops/filecopytaskspecification.h"
#include "fileops/filedeletetaskspecification.h"
#include "fileops/filerenametaskspecification.h"
#include "fileops/fileunziptaskspecification.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool entryExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

FileReplaceTaskSpecification::FileReplaceTaskSpecification(
    FileReplaceSpecification& replaceSpecification, QList<QString>* deleteList,
    RollbackDataList* parentRollbackList, const InstallationLayout& layout, QObject* parent,
    double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , replaceSpecification(replaceSpecification)
    , deleteList(deleteList)
    , parentRollbackList(parentRollbackList)
    , layout(layout)
    , movedAside(false)
    , ownOldCopies(&rollbackList)
    , oldCopies(&ownOldCopies)
{
}

void FileReplaceTaskSpecification::setOldCopyDirectory(OldCopyDirectory* directory)
{
    oldCopies = directory ? directory : &ownOldCopies;
}

void FileReplaceTaskSpecification::execute()
{
    Q_EMIT message(QStringLiteral("add/replace %1").arg(replaceSpecification.fileName));
    makeSubtasksAndStart();
}

void FileReplaceTaskSpecification::makeSubtasksAndStart()
{
    const QString source = layout.downloadedPath(replaceSpecification.fileName);
    const QString target = layout.installedPath(replaceSpecification.destFileName(QString()));

    if (oldCopies == &ownOldCopies)
        ownOldCopies.start(layout.root());

    double remaining = 1.0;
    if (entryExists(target)) {
        oldCopyName = oldCopies->claim(replaceSpecification);
        const QString oldCopy = layout.installedPath(oldCopyName);
        if (entryExists(oldCopy)) {
            addSubTask(new FileDeleteTaskSpecification(true, oldCopy, this, 0.1));
            remaining = 0.9;
        }
        oldCopies->ensureExists();
        movedAside = true;
        addSubTask(new FileRenameTaskSpecification(target, oldCopy, &rollbackList, this, 0.1));
        remaining -= 0.1;
    }

    if (replaceSpecification.hasUnzip()) {
        remaining -= 0.2;
        addSubTask(new FileUnzipTaskSpecification(&rollbackList, source, target, this, remaining));
        addSubTask(new CheckSignatureTaskSpecification(target, FileCheck::listedSum(replaceSpecification.unzipMd5),
                                                       true, this, 0.2));
    } else {
        addSubTask(new FileCopyTaskSpecification(&rollbackList, source, target, this, remaining));
    }

    state = Running;
    executeSubTasks();
}

void FileReplaceTaskSpecification::subtasksDone()
{
    if (getStateFromSubTasks() == Finished) {
        if (parentRollbackList)
            parentRollbackList->appendList(rollbackList);
        if (movedAside && deleteList) {
            const QString name = QFileInfo(replaceSpecification.pureDestFilePath()).fileName();
            // Start-up removes the old copies of the updater's own files, but
            // only under their plain names.
            if (!InstallationLayout::isSpecialFileName(name)
                || oldCopyName != replaceSpecification.oldDestFileName())
                deleteList->append(oldCopyName);
        }
        makeSingleFileExecutable(layout.installedPath(replaceSpecification.destFileName(QString())));
    } else {
        rollbackList.rollback(this);
    }
    ComposedTaskSpecification::subtasksDone();
}

void FileReplaceTaskSpecification::reset()
{
    clearSubTasks();
    rollbackList.rollback(this);
    movedAside = false;
    oldCopyName.clear();
    TaskSpecification::reset();
}

void FileReplaceTaskSpecification::makeSingleFileExecutable(const QString& path)
{
    const QFileDevice::Permissions current = QFile::permissions(path);
    const QFileDevice::Permissions wanted = InstallationLayout::installedPermissions(path, current);
    if (wanted != current)
        QFile::setPermissions(path, wanted);
}
