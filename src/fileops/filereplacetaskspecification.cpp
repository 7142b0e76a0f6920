#include "filereplacetaskspecification.h"

#include "verify/checksignaturetaskspecification.h"
#include "fileops/filecommittaskspecification.h"
#include "fileops/filecopytaskspecification.h"
#include "fileops/filedeletetaskspecification.h"
#include "fileops/fileunziptaskspecification.h"
#include "fileops/newfile.h"
#include "tasks/asynctaskspecification.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Also a dangling link: lstat, not stat.
bool entryExists(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

bool isRegularFile(const QString& path)
{
    struct stat info;
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

} // namespace

FileReplaceTaskSpecification::FileReplaceTaskSpecification(FileReplaceSpecification& replaceSpecification,
    QList<QString>* deleteList, RollbackDataList* parentRollbackList, const InstallationLayout& layout,
    QObject* parent, double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , replaceSpecification(replaceSpecification)
    , deleteList(deleteList)
    , parentRollbackList(parentRollbackList)
    , layout(layout)
    , movedAside(false)
    , ownOldCopies(&rollbackList)
    , oldCopies(&ownOldCopies)
{ }

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
    // A packed file may have come as a patch: its unpacked content is then
    // ready and is installed like a plain file.
    const QString unpacked
        = replaceSpecification.hasUnzip() ? layout.unpackedPath(replaceSpecification.fileName) : QString();
    const bool unpack = replaceSpecification.hasUnzip() && !isRegularFile(unpacked);
    const QString source
        = unpack || unpacked.isEmpty() ? layout.downloadedPath(replaceSpecification.fileName) : unpacked;
    const QString target = layout.installedPath(replaceSpecification.destFileName(QString()));
    const QFileInfo targetInfo(target);
    newPath = QDir(targetInfo.path()).filePath(InstallationLayout::newFilePrefix() + targetInfo.fileName());

    if (oldCopies == &ownOldCopies)
        ownOldCopies.start(layout.root());

    double remaining = 0.9;
    int previousMode = -1;
    QString oldCopy;
    bool oldCopyInTheWay = false;
    if (entryExists(target)) {
        struct stat info;
        if (::stat(QFile::encodeName(target).constData(), &info) == 0)
            previousMode = int(info.st_mode & 07777);
        oldCopyName = oldCopies->claim(replaceSpecification);
        oldCopy = layout.installedPath(oldCopyName);
        // First: an old copy in the way is looked for, and deleted, only in
        // a real "old", never behind a link of that name.
        oldCopies->ensureExists();
        if (entryExists(oldCopy)) {
            addSubTask(new FileDeleteTaskSpecification(true, oldCopy, this, 0.1));
            remaining -= 0.1;
            oldCopyInTheWay = true;
        }
        movedAside = true;
    }
    const mode_t mode = mode_t(replaceSpecification.recordedMode >= 0
            ? replaceSpecification.recordedMode
            : InstallationLayout::installedMode(targetInfo.fileName(), previousMode));
    if (!unpack && !oldCopyInTheWay && installInline(source, target, oldCopy, mode))
        return;
    // Only an interrupted earlier run can have left this name; it is almost
    // never there, and the bare call costs no file object.
    ::unlink(QFile::encodeName(newPath).constData());

    if (unpack) {
        remaining -= 0.2;
        addSubTask(new FileUnzipTaskSpecification(
            nullptr, source, newPath, this, remaining, replaceSpecification.unzipSize));
        addSubTask(new CheckSignatureTaskSpecification(
            newPath, FileCheck::listedSum(replaceSpecification.unzipMd5), true, this, 0.2));
    } else {
        addSubTask(new FileCopyTaskSpecification(nullptr, source, newPath, this, remaining));
    }
    addSubTask(new FileCommitTaskSpecification(newPath, target, oldCopy, mode, &rollbackList, this, 0.1));

    state = Running;
    executeSubTasks();
}

bool FileReplaceTaskSpecification::installInline(
    const QString& source, const QString& target, const QString& oldCopy, mode_t mode)
{
    // The downloaded file itself becomes the new file: no copy, no hop to
    // the pool. It stays where the session expects it. Across file systems,
    // or where links are refused, a small file is copied here, faster than
    // the pool would take it; a large one, or any failure, takes the steps.
    const QByteArray from = QFile::encodeName(source);
    const QByteArray to = QFile::encodeName(newPath);
    struct stat info;
    bool linked = false;
    // A link would install a symbolic link itself, not what it points to.
    if (::lstat(from.constData(), &info) == 0 && S_ISREG(info.st_mode)) {
        linked = ::link(from.constData(), to.constData()) == 0;
        // Only an interrupted earlier run leaves the new name behind.
        if (!linked && errno == EEXIST && ::unlink(to.constData()) == 0)
            linked = ::link(from.constData(), to.constData()) == 0;
    }
    if (!linked
        && (::stat(from.constData(), &info) != 0 || !S_ISREG(info.st_mode)
            || info.st_size > ASyncTaskSpecification::QUICK_FILE_SIZE || !NewFile::copy(source, newPath)))
        return false;
    state = Running;
    QString failure;
    // A link shares the download's bits, most often already the right ones.
    const bool ok = FileCommitTaskSpecification::commit(
        newPath, target, oldCopy, mode, &rollbackList, &failure, linked ? int(info.st_mode & 07777) : -1);
    if (!ok)
        Q_EMIT message(failure);
    settle(ok);
    if (ok)
        finish();
    else
        errorCancel();
    return true;
}

void FileReplaceTaskSpecification::settle(bool installed)
{
    if (installed) {
        if (parentRollbackList)
            parentRollbackList->appendList(rollbackList);
        // Also the copies of the updater's own files: the running program
        // does not need its file names, and "old" ends the update empty.
        if (movedAside && deleteList)
            deleteList->append(oldCopyName);
    } else {
        QFile::remove(newPath);
        rollbackList.rollback(this);
    }
}

void FileReplaceTaskSpecification::subtasksDone()
{
    settle(getStateFromSubTasks() == Finished);
    ComposedTaskSpecification::subtasksDone();
}

void FileReplaceTaskSpecification::reset()
{
    clearSubTasks();
    rollbackList.rollback(this);
    movedAside = false;
    oldCopyName.clear();
    if (!newPath.isEmpty())
        QFile::remove(newPath);
    TaskSpecification::reset();
}
