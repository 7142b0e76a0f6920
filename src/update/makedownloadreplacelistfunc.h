#ifndef MAKEDOWNLOADREPLACELISTFUNC_H
#define MAKEDOWNLOADREPLACELISTFUNC_H

#include "manifest/installationlayout.h"
#include "manifest/contentsum.h"
#include "tasks/asyncfunc.h"

class FileSpecifications;

// Reads the verified product ini from the temporary directory and compiles
// the update's lists: what to download, what to install, what to delete.
// Runs on a pool thread and hashes every installed file the ini lists.
class MakeDownloadReplaceListFunc : public ASyncFunc
{
    Q_OBJECT

public:
    MakeDownloadReplaceListFunc(
        const InstallationLayout& layout, const QString& updateType, FileSpecifications& specifications);

    // Takes the files' SHA-256 digests from the verified release manifest at
    // `path`, which lists the product ini's files in the order they are read.
    void useManifest(const QString& path) { manifestPath = path; }

    // Offers patches from the index at `path` (verified, and bound to the
    // run's type and `version`) for files whose installed content it covers.
    void usePatchIndex(const QString& path, int version);
    // Reads every installed file, whatever the digest cache remembers: a file
    // damaged under an unchanged size and time is found too. The cache is
    // written afresh from what was read.
    void setFullCheck(bool full) { fullCheck = full; }

    // Public so that it can also be run synchronously.
    bool run() override;

private:
    bool compileLists();
    // Whether the unpacked content that a patch gave for the packed file
    // `key` in an earlier attempt is there and right; a wrong one is removed.
    bool unpackedResultReady(const QString& key, const ContentSum& md5) const;
    // Copies the installed file `installed` to `staged`, where an install
    // takes the file from; false unless the copy holds `sum`.
    bool stageInstalledCopy(const QString& installed, const QString& staged, const ContentSum& sum) const;

    InstallationLayout layout;
    QString updateType;
    FileSpecifications& specifications;
    QString manifestPath;
    QString patchIndexPath;
    int version = 0;
    bool fullCheck = false;
};

#endif
