#ifndef MAKEDOWNLOADREPLACELISTTASKSPECIFICATION_H
#define MAKEDOWNLOADREPLACELISTTASKSPECIFICATION_H

#include "manifest/filespecifications.h"
#include "manifest/installationlayout.h"
#include "tasks/asynctaskspecification.h"

// Compiles the update's lists on the thread pool into a private set of lists
// and publishes them to the caller's FileSpecifications only when the whole
// product ini was read successfully.
class MakeDownloadReplaceListTaskSpecification : public ASyncTaskSpecification
{
    Q_OBJECT

public:
    MakeDownloadReplaceListTaskSpecification(const InstallationLayout& layout, const QString& updateType,
        FileSpecifications& targetSpecifications, QObject* parent, double parentProgressRange);
    ~MakeDownloadReplaceListTaskSpecification() override;

    // See MakeDownloadReplaceListFunc::usePatchIndex.
    void usePatchIndex(const QString& path, int releaseVersion);

public Q_SLOTS:
    ASyncFunc* createFunction() override;
    void runDone(bool success) override;

private:
    InstallationLayout layout;
    QString updateType;
    FileSpecifications& targetSpecifications;
    FileSpecifications workSpecifications;
    QString patchIndexPath;
    int version = 0;
};

#endif
