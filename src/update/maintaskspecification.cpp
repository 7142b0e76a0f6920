#include "maintaskspecification.h"

#include "update/diskspacechecktaskspecification.h"
#include "update/downloadfilelisttaskspecification.h"
#include "update/inidownloadtaskspecification.h"
#include "fileops/filedeletelisttaskspecification.h"
#include "fileops/filereplacelisttaskspecification.h"
#include "fileops/installationflushtaskspecification.h"
#include "update/digestcacheupdatetaskspecification.h"
#include "update/makedownloadreplacelisttaskspecification.h"
#include "update/patchindexdownloadtaskspecification.h"

#include <QFile>

#include <malloc.h>

namespace {

constexpr double IniDownloadShare = 0.1;
constexpr double CompileShare = 0.05;
constexpr double DownloadShare = 0.4;
constexpr double InstallShare = 0.4;
constexpr double DeleteShare = 0.05;

} // namespace

MainTaskSpecification::MainTaskSpecification(const DownloadContext& context, const QString& updateType,
    int version, int downloadConcurrency, QObject* parent, double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , context(context)
    , updateType(updateType)
    , version(version)
    , downloadConcurrency(downloadConcurrency)
{ }

void MainTaskSpecification::execute()
{
    Q_EMIT message(QStringLiteral("Starting update process"));
    makeSubtasksAndStart();
}

void MainTaskSpecification::reset()
{
    clearSubTasks();
    installation = nullptr;
    downloadList = nullptr;
    fileSpecifications.clear();
    TaskSpecification::reset();
}

void MainTaskSpecification::userCanceled()
{
    if (installation && installation->state == Finished)
        return;
    ComposedTaskSpecification::userCanceled();
}

void MainTaskSpecification::makeSubtasksAndStart()
{
    auto* ini = new IniDownloadTaskSpecification(context, updateType, version, this, IniDownloadShare);
    ini->setTrust(trust);
    addSubTask(ini);
    auto* compile = new MakeDownloadReplaceListTaskSpecification(
        context.layout, updateType, fileSpecifications, this, CompileShare);
    connect(compile, &TaskSpecification::finished, this, &MainTaskSpecification::returnFreedMemory);
    connect(compile, &TaskSpecification::finished, this, &MainTaskSpecification::countLists);
    // Once: what the first reading learned is in the digest cache for the second.
    compile->setFullCheck(fullCheck);
    addSubTask(compile);
    // An installation that is up to date needs no patch: the index is asked
    // for once a file is to be fetched, and then the lists are compiled again
    // with the patches it offers. Neither takes a share of the progress: the
    // index is a small file, and the second compilation finds the unchanged
    // files in the digest cache.
    auto* patchIndex = new PatchIndexDownloadTaskSpecification(context, updateType, this, 0.0);
    patchIndex->askOnlyWhen(
        [this, ini] { return fileSpecifications.downloadCount() > 0 && ini->mayHavePatches(); });
    addSubTask(patchIndex);
    auto* patchedCompile = new MakeDownloadReplaceListTaskSpecification(
        context.layout, updateType, fileSpecifications, this, 0.0);
    patchedCompile->usePatchIndex(patchIndex->localIndexPath(), version);
    patchedCompile->compileOnlyWhen([this, patchIndex] {
        return fileSpecifications.downloadCount() > 0 && QFile::exists(patchIndex->localIndexPath());
    });
    connect(patchedCompile, &TaskSpecification::finished, this, &MainTaskSpecification::returnFreedMemory);
    connect(patchedCompile, &TaskSpecification::finished, this, &MainTaskSpecification::countLists);
    addSubTask(patchedCompile);
    // Only a manifest that verified in this run decides the files' content.
    connect(ini, &TaskSpecification::finished, this, [this, ini, compile, patchedCompile] {
        published = ini->publishedTime();
        const QString manifest = ini->manifestVerified() ? ini->localManifestPath() : QString();
        compile->useManifest(manifest);
        patchedCompile->useManifest(manifest);
    });
    // Takes no share of the progress: it only looks at the file systems.
    addSubTask(new DiskSpaceCheckTaskSpecification(fileSpecifications, context.layout, this, 0.0));
    auto* download = new DownloadFileListTaskSpecification(
        &fileSpecifications, context, downloadConcurrency, this, DownloadShare);
    auto* install = new FileReplaceListTaskSpecification(
        &fileSpecifications.replaceList, &fileSpecifications.deleteList, context.layout, this, InstallShare);
    for (auto end : { &TaskSpecification::finished, &TaskSpecification::canceled })
        connect(download, end, this,
            [this] { Q_EMIT downloadsEnded(quint64(counts.bytesFetched + counts.patchBytes)); });
    connect(download, &TaskSpecification::finished, this, &MainTaskSpecification::downloadsDone);
    connect(
        download, &DownloadFileListTaskSpecification::fileFetched, this, &MainTaskSpecification::countFetch);
    downloadList = download;
    installation = install;
    auto* remove = new FileDeleteListTaskSpecification(
        &fileSpecifications.deleteList, context.layout, this, DeleteShare);
    // One task per file: those done are of no further use, and with tens of
    // thousands of files they would hold most of the memory.
    download->setDiscardFinishedSubTasks(true);
    install->setDiscardFinishedSubTasks(true);
    remove->setDiscardFinishedSubTasks(true);
    addSubTask(download);
    addSubTask(install);
    // The next run need not read again what this one has just verified.
    addSubTask(new DigestCacheUpdateTaskSpecification(context.layout, &fileSpecifications, this, 0.0));
    addSubTask(new InstallationFlushTaskSpecification(context.layout.root(), this, 0.0));
    addSubTask(remove);
    state = Running;
    executeSubTasks();
}

void MainTaskSpecification::countLists()
{
    counts = RunSummary();
    counts.filesChecked = fileSpecifications.checkedFiles;
    counts.filesChanged = fileSpecifications.replaceList.size();
    counts.filesRemoved = fileSpecifications.deleteList.size();
}

void MainTaskSpecification::countFetch(qint64 bytes, bool asPatch, bool patchGivenUp)
{
    if (asPatch) {
        ++counts.filesPatched;
        counts.patchBytes += bytes;
    } else {
        ++counts.filesFetched;
        counts.bytesFetched += bytes;
    }
    if (patchGivenUp)
        ++counts.patchFallbacks;
}

void MainTaskSpecification::timeTick(
    quint64& downloadDone, quint64& downloadTotal, quint64& speed, bool& downloading)
{
    // The product ini, its manifest and the patch index before them are no
    // part of what the summary counts as fetched.
    if (downloadList && downloadList->state != Idle)
        downloadList->timeTick(downloadDone, downloadTotal, speed, downloading);
    else
        ComposedTaskSpecification::timeTick(downloadDone, downloadTotal, speed, downloading);
}

void MainTaskSpecification::downloadsDone()
{
    fileSpecifications.dropDownloads();
    returnFreedMemory();
}

void MainTaskSpecification::returnFreedMemory()
{
    // The parsed product ini and the finished downloads leave much free
    // memory inside the allocator's arenas, one of them the pool thread's;
    // without this it would stay resident to the end of the run.
    ::malloc_trim(0);
}
