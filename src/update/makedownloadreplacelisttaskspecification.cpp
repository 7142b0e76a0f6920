#include "makedownloadreplacelisttaskspecification.h"

#include "update/makedownloadreplacelistfunc.h"

#include <QThreadPool>

MakeDownloadReplaceListTaskSpecification::MakeDownloadReplaceListTaskSpecification(
    const InstallationLayout& layout, const QString& updateType, FileSpecifications& targetSpecifications,
    QObject* parent, double parentProgressRange)
    : ASyncTaskSpecification(parent, parentProgressRange)
    , layout(layout)
    , updateType(updateType)
    , targetSpecifications(targetSpecifications)
{ }

MakeDownloadReplaceListTaskSpecification::~MakeDownloadReplaceListTaskSpecification()
{
    // A running body still writes into workSpecifications.
    if (state == Running)
        QThreadPool::globalInstance()->waitForDone();
}

void MakeDownloadReplaceListTaskSpecification::usePatchIndex(const QString& path, int releaseVersion)
{
    patchIndexPath = path;
    version = releaseVersion;
}

ASyncFunc* MakeDownloadReplaceListTaskSpecification::createFunction()
{
    auto* function = new MakeDownloadReplaceListFunc(layout, updateType, workSpecifications);
    if (!patchIndexPath.isEmpty())
        function->usePatchIndex(patchIndexPath, version);
    return function;
}

void MakeDownloadReplaceListTaskSpecification::runDone(bool success)
{
    if (success) {
        // Moved, and without the room the lists grew into: with hundreds of
        // thousands of files that room is megabytes held to the end of the run.
        targetSpecifications.downloadList = std::move(workSpecifications.downloadList);
        targetSpecifications.replaceList = std::move(workSpecifications.replaceList);
        targetSpecifications.deleteList = std::move(workSpecifications.deleteList);
        targetSpecifications.downloadList.squeeze();
        targetSpecifications.replaceList.squeeze();
        targetSpecifications.deleteList.squeeze();
        workSpecifications.clear();
    }
    ASyncTaskSpecification::runDone(success);
}
