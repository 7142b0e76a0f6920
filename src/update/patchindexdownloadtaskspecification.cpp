#include "update/patchindexdownloadtaskspecification.h"

#include "manifest/patchindex.h"
#include "transfer/downloadtaskspecification.h"

#include <QFile>

PatchIndexDownloadTaskSpecification::PatchIndexDownloadTaskSpecification(
    const DownloadContext& context, const QString& updateType, QObject* parent, double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , context(context)
    , updateType(updateType)
{ }

QString PatchIndexDownloadTaskSpecification::localIndexPath() const
{
    return context.layout.downloadedPath(PatchIndex::fileName(updateType));
}

void PatchIndexDownloadTaskSpecification::removeLocalCopies()
{
    QFile::remove(localIndexPath());
    QFile::remove(localIndexPath() + QStringLiteral(".sig"));
}

void PatchIndexDownloadTaskSpecification::execute()
{
    // Fetched anew every run: a copy kept from an earlier one may be what
    // was wrong with it.
    removeLocalCopies();
    if (wanted && !wanted()) {
        state = Running;
        finish();
        return;
    }
    const QString name = PatchIndex::fileName(updateType);
    auto* index = new DownloadTaskSpecification(
        context.transfers, context.mirrors, name, localIndexPath(), -1, this, 0.5);
    index->setByteLimit(PatchIndex::MAX_SIZE);
    index->setDeadlineFromByteLimit();
    index->setOptional();
    auto* signature = new DownloadTaskSpecification(context.transfers, context.mirrors,
        name + QStringLiteral(".sig"), localIndexPath() + QStringLiteral(".sig"), -1, this, 0.5);
    signature->setByteLimit(MAX_SIGNATURE_SIZE);
    signature->setDeadlineFromByteLimit();
    signature->setOptional();
    signature->followMirrorOf(index);
    addSubTask(index);
    addSubTask(signature);
    executeSubTasks();
}

void PatchIndexDownloadTaskSpecification::subtasksDone()
{
    const TaskState outcome = getStateFromSubTasks();
    if (outcome == Finished || outcome == UserCanceled) {
        ComposedTaskSpecification::subtasksDone();
        return;
    }
    QString reason;
    for (const TaskSpecification* task : subTasks()) {
        const auto* download = static_cast<const DownloadTaskSpecification*>(task);
        if (download->state == ErrorCanceled && !download->failureReason().isEmpty()) {
            reason = download->failureReason();
            break;
        }
    }
    removeLocalCopies();
    Q_EMIT message(QStringLiteral("No patch index for this release (%1); every file comes whole")
                       .arg(reason.isEmpty() ? QStringLiteral("not fetched") : reason));
    finish();
}

void PatchIndexDownloadTaskSpecification::reset()
{
    clearSubTasks();
    TaskSpecification::reset();
}
