#include "downloadfiletaskspecification.h"

#include "fileops/newdirectory.h"
#include "fileops/patchapplytaskspecification.h"
#include "transfer/downloadtaskspecification.h"
#include "verify/checksignaturetaskspecification.h"
#include "transfer/mirrors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr double DownloadShare = 0.8;
constexpr double CheckShare = 0.2;
constexpr double PatchDownloadShare = 0.6;
constexpr double PatchCheckShare = 0.1;
constexpr double PatchApplyShare = 0.3;
// Up to this size a file's part is kept under the file's own name, which
// saves a rename for every file. A part under that name passes no check
// before it is complete, as any file found there is checked before use.
constexpr qint64 SmallFileSize = 64 * 1024;

} // namespace

DownloadFileTaskSpecification::DownloadFileTaskSpecification(const FileDownloadSpecification& listedFile,
    const DownloadContext& context, QObject* parent, double parentProgressRange)
    : VerifiedDownloadTaskSpecification(parent, parentProgressRange)
    , listedFile(listedFile)
    , context(context)
{ }

void DownloadFileTaskSpecification::execute()
{
    startRound();
}

void DownloadFileTaskSpecification::reset()
{
    clearSubTasks();
    downloadTask = nullptr;
    listEnded = false;
    refetchedWhole = false;
    patchAbandoned = false;
    applyFailure.clear();
    TaskSpecification::reset();
}

void DownloadFileTaskSpecification::handleOtherTaskCancelled(TaskSpecification* other)
{
    listEnded = true;
    ComposedTaskSpecification::handleOtherTaskCancelled(other);
}

void DownloadFileTaskSpecification::addRound()
{
    if (usingPatch()) {
        addPatchRound();
        return;
    }
    const FileDownloadSpecification& file = listedFile;
    const QString localPath = context.layout.downloadedPath(file.fileName);
    downloadTask = new DownloadTaskSpecification(context.transfers, context.mirrors,
        file.section + QLatin1Char('/') + file.fileName, localPath, file.size, this, DownloadShare);
    addSubTask(downloadTask);
    downloadTask->digestWhileReceiving(file.md5.algorithm());
    downloadTask->keepPartAt(
        file.size > SmallFileSize ? context.layout.partialPath(file.fileName) : localPath);
    CheckSignatureTaskSpecification* check = addCheck(localPath, FileCheck::listedSum(file.md5), CheckShare);
    check->useKnownDigest([download = QPointer<DownloadTaskSpecification>(downloadTask)] {
        return download ? download->receivedDigest() : QByteArray();
    });
}

QString DownloadFileTaskSpecification::patchResultPath() const
{
    return listedFile.patch->unpacked ? context.layout.unpackedPath(listedFile.fileName)
                                      : context.layout.downloadedPath(listedFile.fileName);
}

QString DownloadFileTaskSpecification::patchPartPath() const
{
    return context.layout.partialPath(InstallationLayout::patchDownloadName(listedFile.patch->path));
}

void DownloadFileTaskSpecification::addPatchRound()
{
    const FilePatchSpecification& patch = *listedFile.patch;
    const QString localPath = context.layout.patchDownloadPath(patch.path);
    NewDirectory::makePath(QFileInfo(localPath).path());
    downloadTask = new DownloadTaskSpecification(
        context.transfers, context.mirrors, patch.path, localPath, patch.size, this, PatchDownloadShare);
    addSubTask(downloadTask);
    downloadTask->setOptional(mirrorsWithoutPatches);
    downloadTask->digestWhileReceiving(patch.md5.algorithm());
    downloadTask->keepPartAt(patchPartPath());
    CheckSignatureTaskSpecification* check
        = addCheck(localPath, FileCheck::digest(patch.md5), PatchCheckShare);
    check->useKnownDigest([download = QPointer<DownloadTaskSpecification>(downloadTask)] {
        return download ? download->receivedDigest() : QByteArray();
    });
    auto* apply = new PatchApplyTaskSpecification(patch, context.layout.installedPath(patch.basePath),
        localPath, patchResultPath(), this, PatchApplyShare);
    addSubTask(apply);
    // Its reason goes into the one line that gives the patch up.
    disconnect(apply, &TaskSpecification::message, this, &TaskSpecification::message);
    connect(apply, &TaskSpecification::message, this, [this](const QString& text) { applyFailure = text; });
}

void DownloadFileTaskSpecification::abandonPatch(const QString& reason)
{
    patchAbandoned = true;
    QFile::remove(context.layout.patchDownloadPath(listedFile.patch->path));
    QFile::remove(patchPartPath());
    Q_EMIT message(QStringLiteral("Patch for %1 not used: %2; downloading the whole file")
                       .arg(listedFile.fileName, reason));
    Q_EMIT downloadSizeChanged(listedFile.size - listedFile.patch->size);
}

void DownloadFileTaskSpecification::subtasksDone()
{
    const TaskState outcome = getStateFromSubTasks();
    if (usingPatch() && outcome == ErrorCanceled && !cancelRequested && !listEnded) {
        QString reason = applyFailure;
        if (reason.isEmpty() && downloadTask)
            reason = downloadTask->failureReason();
        abandonPatch(reason.isEmpty() ? QStringLiteral("it could not be fetched") : reason);
        clearSubTasks();
        TaskSpecification::reset();
        startRound();
        return;
    }
    if (usingPatch() && outcome == Finished) {
        QFile::remove(context.layout.patchDownloadPath(listedFile.patch->path));
        Q_EMIT message(QStringLiteral("%1 came as a patch: %2 bytes instead of %3")
                           .arg(listedFile.fileName)
                           .arg(listedFile.patch->size)
                           .arg(listedFile.size));
    }
    if (outcome == Finished)
        Q_EMIT fetched(usingPatch() ? listedFile.patch->size : listedFile.size, usingPatch(), patchAbandoned);
    ComposedTaskSpecification::subtasksDone();
}

TaskState DownloadFileTaskSpecification::roundFailed()
{
    if (usingPatch()) {
        if (cancelRequested)
            return UserCanceled;
        if (listEnded)
            return ErrorCanceled;
        abandonPatch(QStringLiteral("the patch has another %1 sum than the index lists")
                         .arg(listedFile.patch->md5.algorithmName()));
        return Running;
    }
    // A file that failed its check is no part to resume, and a small
    // file's part is kept under this very name.
    QFile::remove(context.layout.downloadedPath(listedFile.fileName));
    if (downloadTask->completedFromPart() && !refetchedWhole && !cancelRequested && !listEnded) {
        refetchedWhole = true;
        // The part kept from an earlier attempt may be what is wrong: the
        // file is fetched whole once before any mirror is blamed.
        Q_EMIT message(QStringLiteral("%1 sum for %2 failed after resuming, downloading it whole")
                           .arg(listedFile.md5.algorithmName().toLower(), listedFile.fileName));
        return Running;
    }
    Q_EMIT message(QStringLiteral("%1 sum for %2 failed, invalidating mirror and retrying")
                       .arg(listedFile.md5.algorithmName().toLower(), listedFile.fileName));
    context.mirrors->removeMirror(downloadTask->getCurrentMirror().name);
    // Fetching again would ignore the user's request to stop, or start a
    // transfer for a list that has already failed.
    if (cancelRequested)
        return UserCanceled;
    return listEnded ? ErrorCanceled : Running;
}
