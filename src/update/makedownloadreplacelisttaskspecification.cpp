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

void MakeDownloadReplaceListTaskSpecification::execute()
{
    if (wanted && !wanted()) {
        state = Running;
        finish();
        return;
    }
    ASyncTaskSpecification::execute();
}

ASyncFunc* MakeDownloadReplaceListTaskSpecification::createFunction()
{
    auto* function = new MakeDownloadReplaceListFunc(layout, updateType, workSpecifications);
    if (!patchIndexPath.isEmpty())
        function->usePatchIndex(patchIndexPath, version);
    if (!manifestPath.isEmpty())
        function->useManifest(manifestPath);
    function->setFullCheck(fullCheck);
    return function;
}

void MakeDownloadReplaceListTaskSpecification::runDone(bool success)
{
    if (success) {
        // Moved, not copied. The download and replace lists keep the room
        // reserved for every key: room never written is not resident, while
        // squeezing them would hold both copies of hundreds of thousands of
        // records at once. The delete list grew by steps and gives its room back.
        targetSpecifications = std::move(workSpecifications);
        targetSpecifications.deleteList.squeeze();
        workSpecifications.clear();
    }
    ASyncTaskSpecification::runDone(success);
}
