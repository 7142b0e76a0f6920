#include "makedownloadreplacelisttaskspecification.h"

#include "manifest/makedownloadreplacelistfunc.h"

#include <QThreadPool>

MakeDownloadReplaceListTaskSpecification::MakeDownloadReplaceListTaskSpecification(
    Configuration* configuration, FileSpecifications& targetSpecifications, QObject* parent,
    double parentProgressRange)
    : ASyncTaskSpecification(parent, parentProgressRange)
    , configuration(configuration)
    , targetSpecifications(targetSpecifications)
{
}

MakeDownloadReplaceListTaskSpecification::~MakeDownloadReplaceListTaskSpecification()
{
    // A running body still writes into workSpecifications.
    if (state == Running)
        QThreadPool::globalInstance()->waitForDone();
}

ASyncFunc* MakeDownloadReplaceListTaskSpecification::createFunction()
{
    return new MakeDownloadReplaceListFunc(configuration, workSpecifications);
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
