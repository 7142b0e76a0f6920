#include "downloadfiletaskspecification.h"

#include "transfer/downloadtaskspecification.h"
#include "verify/checksignaturetaskspecification.h"
#include "transfer/mirrors.h"

namespace {

constexpr double DownloadShare = 0.8;
constexpr double CheckShare = 0.2;

} // namespace

DownloadFileTaskSpecification::DownloadFileTaskSpecification(const FileDownloadSpecification& fileSpec,
    const DownloadContext& context, QObject* parent, double parentProgressRange)
    : VerifiedDownloadTaskSpecification(parent, parentProgressRange)
    , fileSpec(fileSpec)
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
    TaskSpecification::reset();
}

void DownloadFileTaskSpecification::handleOtherTaskCancelled(TaskSpecification* other)
{
    listEnded = true;
    ComposedTaskSpecification::handleOtherTaskCancelled(other);
}

void DownloadFileTaskSpecification::addRound()
{
    const FileDownloadSpecification& file = fileSpec;
    const QString localPath = context.layout.downloadedPath(file.fileName);
    downloadTask = new DownloadTaskSpecification(context.transfers, context.mirrors,
        file.section + QLatin1Char('/') + file.fileName, localPath, file.size, this, DownloadShare);
    addSubTask(downloadTask);
    downloadTask->digestWhileReceiving();
    downloadTask->keepPartAt(context.layout.partialPath(file.fileName));
    CheckSignatureTaskSpecification* check = addCheck(localPath, FileCheck::listedSum(file.md5), CheckShare);
    check->useKnownDigest([download = QPointer<DownloadTaskSpecification>(downloadTask)] {
        return download ? download->receivedMd5() : QByteArray();
    });
}

TaskState DownloadFileTaskSpecification::roundFailed()
{
    if (downloadTask->completedFromPart() && !refetchedWhole && !cancelRequested && !listEnded) {
        refetchedWhole = true;
        // The part kept from an earlier attempt may be what is wrong: the
        // file is fetched whole once before any mirror is blamed.
        Q_EMIT message(QStringLiteral("md5 sum for %1 failed after resuming, downloading it whole")
                           .arg(fileSpec.fileName));
        return Running;
    }
    Q_EMIT message(
        QStringLiteral("md5 sum for %1 failed, invalidating mirror and retrying").arg(fileSpec.fileName));
    context.mirrors->removeMirror(downloadTask->getCurrentMirror().name);
    // Fetching again would ignore the user's request to stop, or start a
    // transfer for a list that has already failed.
    if (cancelRequested)
        return UserCanceled;
    return listEnded ? ErrorCanceled : Running;
}
