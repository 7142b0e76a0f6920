#ifndef MAKEDOWNLOADREPLACELISTTASKSPECIFICATION_H
#define MAKEDOWNLOADREPLACELISTTASKSPECIFICATION_H

#include "manifest/filespecifications.h"
#include "manifest/installationlayout.h"
#include "tasks/asynctaskspecification.h"

#include <functional>

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
    // See MakeDownloadReplaceListFunc::useManifest; empty: none.
    void useManifest(const QString& path) { manifestPath = path; }
    // See MakeDownloadReplaceListFunc::setFullCheck.
    void setFullCheck(bool full) { fullCheck = full; }
    // Asked when the task starts: without a need to compile, it finishes at
    // once and leaves the lists as they are.
    void compileOnlyWhen(std::function<bool()> needed) { wanted = std::move(needed); }

public Q_SLOTS:
    void execute() override;
    ASyncFunc* createFunction() override;
    void runDone(bool success) override;

private:
    InstallationLayout layout;
    QString updateType;
    FileSpecifications& targetSpecifications;
    FileSpecifications workSpecifications;
    QString patchIndexPath;
    QString manifestPath;
    int version = 0;
    bool fullCheck = false;
    std::function<bool()> wanted;
};

#endif
