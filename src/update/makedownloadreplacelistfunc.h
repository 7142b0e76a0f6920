#ifndef MAKEDOWNLOADREPLACELISTFUNC_H
#define MAKEDOWNLOADREPLACELISTFUNC_H

#include "manifest/installationlayout.h"
#include "tasks/asyncfunc.h"

class FileSpecifications;
class QSettings;

// Reads the verified product ini from the temporary directory and compiles
// the update's lists: what to download, what to install, what to delete.
// Runs on a pool thread and hashes every installed file the ini lists.
class MakeDownloadReplaceListFunc : public ASyncFunc
{
    Q_OBJECT

public:
    MakeDownloadReplaceListFunc(
        const InstallationLayout& layout, const QString& updateType, FileSpecifications& specifications);

    // Public so that it can also be run synchronously.
    bool run() override;
    // Keys over all sections, the delete section included.
    int getFileCount(QSettings& settings);

private:
    InstallationLayout layout;
    QString updateType;
    FileSpecifications& specifications;
};

#endif
