#include "downloadfiletaskspecification.h"

#include "verify/checksignaturetaskspecification.h"
#include "transfer/downloadtaskspecification.h"
#include "transfer/mirrors.h"

namespace {

constexpr double DownloadShare = 0.8;
constexpr double CheckShare = 0.2;

} // namespace

DownloadFileTaskSpecification::DownloadFileTaskSpecification(const FileDownloadSpecification& fileSpec,
                                                             QNetworkAccessManager* networkManager,
                                                             Mirrors* mirrors, const InstallationLayout& layout,
                                                             QObject* parent, double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , fileSpec(fileSpec)
    , networkManager(networkManager)
    , mirrors(mirrors)
    , layout(layout)
{
}

void DownloadFileTaskSpecification::execute()
{
    makeSubtasksAndStart();
}

void DownloadFileTaskSpecification::reset()
{
    clearSubTasks();
    downloadTask = nullptr;
    TaskSpecification::reset();
}

void DownloadFileTaskSpecification::makeSubtasksAndStart()
{
    const FileDownloadSpecification& file = fileSpec;
    const QString localPath = layout.downloadedPath(file.fileName);
    downloadTask = new DownloadTaskSpecification(networkManager, mirrors,
                                                 file.section + QLatin1Char('/') + file.fileName,
                                                 localPath, file.size, this, DownloadShare);
    addSubTask(downloadTask);
    auto* check = new CheckSignatureTaskSpecification(localPath, file.md5, false, this, CheckShare);
    connect(check, &CheckSignatureTaskSpecification::checkDone, this,
            &DownloadFileTaskSpecification::onSigCheckDone);
    addSubTask(check);

    state = Running;
    executeSubTasks();
}

void DownloadFileTaskSpecification::onSigCheckDone(bool pass, CheckSignatureTaskSpecification* check)
{
    Q_UNUSED(check);
    if (pass)
        return;
    Q_EMIT message(QStringLiteral("md5 sum for %1 failed, invalidating mirror and retrying").arg(fileSpec.fileName));
    mirrors->removeMirror(downloadTask->getCurrentMirror().name);
    if (cancelRequested) {
        // Fetching again would ignore the user's request to stop.
        downloadTask = nullptr;
        endRun(UserCanceled);
        return;
    }
    reset();
    makeSubtasksAndStart();
}
