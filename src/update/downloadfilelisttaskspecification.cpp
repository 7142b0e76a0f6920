#include "downloadfilelisttaskspecification.h"

#include "update/downloadfiletaskspecification.h"
#include "fileops/newdirectory.h"
#include "transfer/mirrors.h"

#include <QDir>
#include <QSet>

DownloadFileListTaskSpecification::DownloadFileListTaskSpecification(const FileSpecifications* lists,
    const DownloadContext& context, int downloadConcurrency, QObject* parent, double parentProgressRange)
    // Without at least one slot no download would ever start.
    : ComposedTaskSpecification(qMax(1, downloadConcurrency), parentProgressRange, parent)
    , lists(lists)
    , context(context)
    , downloadConcurrency(qMax(1, downloadConcurrency))
{
    connect(
        context.mirrors, &Mirrors::mirrorFreed, this, &DownloadFileListTaskSpecification::onMirrorCapacity);
    // The product ini may have come over HTTP/2 already.
    onMirrorCapacity();
}

void DownloadFileListTaskSpecification::onMirrorCapacity()
{
    const int bound
        = downloadConcurrency + Mirrors::MULTIPLEXED_USE_COUNT * context.mirrors->multiplexedMirrorCount();
    // Each start request starts one waiting download; a lower bound takes
    // effect as running ones end.
    const int added = bound - std::exchange(maxParallelTasks, bound);
    for (int i = 0; i < added && state == Running; ++i)
        Q_EMIT startNextTask();
}

void DownloadFileListTaskSpecification::execute()
{
    makeSubtasksAndStart();
}

void DownloadFileListTaskSpecification::reset()
{
    clearSubTasks();
    totalSize = 0;
    mirrorsWithoutPatches.clear();
    TaskSpecification::reset();
}

void DownloadFileListTaskSpecification::timeTick(
    quint64& downloadDone, quint64& downloadTotal, quint64& speed, bool& downloading)
{
    ComposedTaskSpecification::timeTick(downloadDone, downloadTotal, speed, downloading);
    downloadTotal = quint64(totalSize);
}

bool DownloadFileListTaskSpecification::makeSubDirs()
{
    const QDir dir(context.layout.tempDir());
    QSet<QString> known { QStringLiteral(".") };
    for (qsizetype i = 0; i < lists->downloadCount(); ++i) {
        // The directory part by hand: a file information object per file
        // costs more than the rest of this loop.
        const QString fileName = lists->download(i).fileName;
        const qsizetype slash = fileName.lastIndexOf(QLatin1Char('/'));
        const QString path = slash < 0 ? QStringLiteral(".") : fileName.left(slash);
        if (known.contains(path))
            continue;
        if (!NewDirectory::makePath(dir.filePath(path))) {
            Q_EMIT message(
                QStringLiteral("Could not create dir %1").arg(dir.canonicalPath() + QLatin1Char('/') + path));
            errorCancel();
            return false;
        }
        known.insert(path);
    }
    return true;
}

void DownloadFileListTaskSpecification::makeSubtasksAndStart()
{
    if (lists->downloadCount() == 0) {
        Q_EMIT message(QStringLiteral("No downloads needed"));
        finish();
        return;
    }
    if (!makeSubDirs())
        return;
    Q_EMIT message(QStringLiteral("Downloading files"));
    share = 1.0 / double(lists->downloadCount());
    for (qsizetype i = 0; i < lists->downloadCount(); ++i) {
        const FileDownloadSpecification entry = lists->download(i);
        totalSize += entry.patch ? entry.patch->size : entry.size;
    }
    addLazySubTasks(lists->downloadCount());
    state = Running;
    executeSubTasks();
}

TaskSpecification* DownloadFileListTaskSpecification::makeSubTask(qsizetype index)
{
    auto* task = new DownloadFileTaskSpecification(lists->download(index), context, this, share);
    task->shareMirrorsWithoutPatches(&mirrorsWithoutPatches);
    connect(task, &DownloadFileTaskSpecification::downloadSizeChanged, this,
        [this](qint64 delta) { totalSize += delta; });
    connect(
        task, &DownloadFileTaskSpecification::fetched, this, &DownloadFileListTaskSpecification::fileFetched);
    return task;
}
