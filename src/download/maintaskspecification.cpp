#include "maintaskspecification.h"

#include "download/downloadfilelisttaskspecification.h"
#include "download/inidownloadtaskspecification.h"
#include "fileops/filedeletelisttaskspecification.h"
#include "fileops/filereplacelisttaskspecification.h"
#include "manifest/makedownloadreplacelisttaskspecification.h"

namespace {

constexpr double IniDownloadShare = 0.1;
constexpr double CompileShare = 0.05;
constexpr double DownloadShare = 0.4;
constexpr double InstallShare = 0.4;
constexpr double DeleteShare = 0.05;

} // namespace

MainTaskSpecification::MainTaskSpecification(QNetworkAccessManager* networkManager, Mirrors* mirrors,
                                             Configuration* configuration, QObject* parent,
                                             double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
    , networkManager(networkManager)
    , mirrors(mirrors)
    , configuration(configuration)
{
}

void MainTaskSpecification::execute()
{
    emit message(QStringLiteral("Starting update process"));
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
    addSubTask(new IniDownloadTaskSpecification(networkManager, mirrors, configuration, this, IniDownloadShare));
    addSubTask(new MakeDownloadReplaceListTaskSpecification(configuration, fileSpecifications, this, CompileShare));
    addSubTask(new DownloadFileListTaskSpecification(&fileSpecifications.downloadList, networkManager, mirrors,
                                                     configuration, this, DownloadShare));
    installation = new FileReplaceListTaskSpecification(&fileSpecifications.replaceList,
                                                        &fileSpecifications.deleteList, configuration, this,
                                                        InstallShare);
    addSubTask(installation);
    addSubTask(new FileDeleteListTaskSpecification(&fileSpecifications.deleteList, this, DeleteShare));
    state = Running;
    executeSubTasks();
}
