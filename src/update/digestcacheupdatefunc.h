#ifndef DIGESTCACHEUPDATEFUNC_H
#define DIGESTCACHEUPDATEFUNC_H

#include "manifest/filespecifications.h"
#include "manifest/installationlayout.h"
#include "tasks/asyncfunc.h"

// Enters the files an installation has just verified into the digest cache,
// so that the next run need not read them again. The downloads go first:
// an installed file may be a download under a second name, and dropping
// that name later would move the file's status-change time past what the
// cache records. Nothing here can fail the run.
class DigestCacheUpdateFunc : public ASyncFunc
{
    Q_OBJECT
public:
    DigestCacheUpdateFunc(const InstallationLayout& layout, const FileSpecifications& lists);

protected:
    bool run() override;

private:
    const InstallationLayout layout;
    // Shared with the update's lists, which nobody changes any more.
    const FileSpecifications lists;
};

#endif
