#include "filereplacetaskspecification.h"

#include "app/configuration.h"
#include "download/checksignaturetaskspecification.h"
#include "fileops/filecopytaskspecification.h"
#include "fileops/filedeletetaskspecification.h"
#include "fileops/filerenametaskspecification.h"
#include "fileops/fileunziptaskspecification.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

const QStringList FileReplaceTaskSpecification::executableFiles = {
    QStringLiteral("package_inst"),
    QStringLiteral("error_report"),
    QStringLiteral("update"),
    QStringLiteral("vx3client_runscript.sh"),
    QStringLiteral("vx3client_linux_amd64"),
    QStringLiteral("vx3client_linux_x86"),
};

const QStringList FileReplaceTaskSpecification::executableSuffixes = {
    QStringLiteral("so.4"),
    QStringLiteral("so"),
};

namespace {

bool entryExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

QString joined(const QString& dir, const QString& relative)
{
    return QFileInfo(QDir(dir), relative).filePath();
}

} // namespace

FileReplaceTaskSpecification::FileReplaceTaskSpecification(
    FileReplaceSpecification& replaceSpecification, QList<QString>* deleteList,
    RollbackDataList* parentRollbackList, Configuration* configuration, QObject* parent,
    double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , replaceSpecification(replaceSpecification)
    , deleteList(deleteList)
    , parentRollbackList(parentRollbackList)
    , configuration(configuration)
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
    const QString root = Configuration::getAppRootPath();
    const QString source = joined(configuration->tempDir, replaceSpecification.fileName);
    const QString target = joined(root, replaceSpecification.destFileName(QString()));

    if (oldCopies == &ownOldCopies)
        ownOldCopies.start(root);

    double remaining = 1.0;
    if (entryExists(target)) {
        oldCopyName = oldCopies->claim(replaceSpecification);
        const QString oldCopy = joined(root, oldCopyName);
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
        addSubTask(new CheckSignatureTaskSpecification(target, replaceSpecification.unzipMd5,
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
            if (!configuration->isSpecialFileName(name)
                || oldCopyName != replaceSpecification.oldDestFileName())
                deleteList->append(oldCopyName);
        }
        makeSingleFileExecutable(Configuration::getAppRootPath() + QLatin1Char('/')
                                 + replaceSpecification.destFileName(QString()));
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
    const QFileInfo info(path);
    const QString name = info.fileName();
    const bool executable = executableFiles.contains(name, Qt::CaseSensitive)
        || executableSuffixes.contains(info.completeSuffix(), Qt::CaseSensitive);

    // Nobody but the owner may change an installed file.
    const QFileDevice::Permissions othersWrite = QFileDevice::WriteGroup | QFileDevice::WriteOther;
    if (executable) {
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                        | QFileDevice::ExeOwner | QFileDevice::ReadUser
                                        | QFileDevice::WriteUser | QFileDevice::ExeUser
                                        | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                        | QFileDevice::ReadOther | QFileDevice::ExeOther);
    } else {
        const QFileDevice::Permissions current = QFile::permissions(path);
        if (current & othersWrite)
            QFile::setPermissions(path, current & ~othersWrite);
    }
}
