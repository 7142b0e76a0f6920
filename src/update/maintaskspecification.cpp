#include "maintaskspecification.h"

#include "update/diskspacechecktaskspecification.h"
#include "update/downloadfilelisttaskspecification.h"
#include "update/inidownloadtaskspecification.h"
#include "fileops/filedeletelisttaskspecification.h"
#include "fileops/filereplacelisttaskspecification.h"
#include "update/makedownloadreplacelisttaskspecification.h"

namespace {

constexpr double IniDownloadShare = 0.1;
constexpr double CompileShare = 0.05;
constexpr double DownloadShare = 0.4;
constexpr double InstallShare = 0.4;
constexpr double DeleteShare = 0.05;

} // namespace

MainTaskSpecification::MainTaskSpecification(QNetworkAccessManager* networkManager, Mirrors* mirrors,
                                             const InstallationLayout& layout,
                                             const QString& updateType, int downloadConcurrency,
                                             QObject* parent, double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , networkManager(networkManager)
    , mirrors(mirrors)
    , layout(layout)
    , updateType(updateType)
    , downloadConcurrency(downloadConcurrency)
{
}

void MainTaskSpecification::execute()
{
    Q_EMIT message(QStringLiteral("Starting update process"));
    makeSubtasksAndStart();
}

void MainTaskSpecification::reset()
{
    clearSubTasks();
    installation = nullptr;
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
    addSubTask(new IniDownloadTaskSpecification(networkManager, mirrors, layout, updateType, this,
                                                IniDownloadShare));
    addSubTask(new MakeDownloadReplaceListTaskSpecification(layout, updateType, fileSpecifications, this,
                                                            CompileShare));
    // Takes no share of the progress: it only looks at the file systems.
    addSubTask(new DiskSpaceCheckTaskSpecification(fileSpecifications, layout, this, 0.0));
    addSubTask(new DownloadFileListTaskSpecification(&fileSpecifications.downloadList, networkManager, mirrors,
                                                     layout, downloadConcurrency, this, DownloadShare));
    installation = new FileReplaceListTaskSpecification(&fileSpecifications.replaceList,
                                                        &fileSpecifications.deleteList, layout, this, InstallShare);
    addSubTask(installation);
    addSubTask(new FileDeleteListTaskSpecification(&fileSpecifications.deleteList, layout, this, DeleteShare));
    state = Running;
    executeSubTasks();
}
