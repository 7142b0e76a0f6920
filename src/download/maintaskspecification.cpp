#include "maintaskspecification.h"

#include "app/configuration.h"
#include "download/downloadfilelisttaskspecification.h"
#include "download/inidownloadtaskspecification.h"
#include "fileops/filedeletelisttaskspecification.h"
#include "fileops/filereplacelisttaskspecification.h"
#include "manifest/makedownloadreplacelisttaskspecification.h"
#include "update/digestcache.h"

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
    fileSpecifications.clear();
    TaskSpecification::reset();
}

void MainTaskSpecification::makeSubtasksAndStart()
{
    addSubTask(new IniDownloadTaskSpecification(networkManager, mirrors, configuration, this, IniDownloadShare));
    addSubTask(new MakeDownloadReplaceListTaskSpecification(configuration, fileSpecifications, this, CompileShare));
    addSubTask(new DownloadFileListTaskSpecification(&fileSpecifications.downloadList, networkManager, mirrors,
                                                     configuration, this, DownloadShare));
    auto* install = new FileReplaceListTaskSpecification(&fileSpecifications.replaceList,
                                                         &fileSpecifications.deleteList, configuration, this,
                                                         InstallShare);
    connect(install, &TaskSpecification::finished, this, &MainTaskSpecification::onInstalled);
    addSubTask(install);
    addSubTask(new FileDeleteListTaskSpecification(&fileSpecifications.deleteList, this, DeleteShare));
    state = Running;
    executeSubTasks();
}

void MainTaskSpecification::onInstalled()
{
    // The next run need not read again what this one has just verified.
    const QString root = Configuration::getAppRootPath();
    DigestCache cache(root + QLatin1Char('/') + DigestCache::fileName());
    cache.load();
    cache.insertInstalled(root, fileSpecifications, DigestCache::fileClockNowNs());
    cache.save();
}
