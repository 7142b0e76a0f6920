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

ASyncFunc* MakeDownloadReplaceListTaskSpecification::createFunction()
{
    return new MakeDownloadReplaceListFunc(layout, updateType, workSpecifications);
}

void MakeDownloadReplaceListTaskSpecification::runDone(bool success)
{
    if (success) {
        targetSpecifications.downloadList = workSpecifications.downloadList;
        targetSpecifications.replaceList = workSpecifications.replaceList;
        targetSpecifications.deleteList = workSpecifications.deleteList;
    }
    ASyncTaskSpecification::runDone(success);
}
