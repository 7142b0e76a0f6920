#ifndef DIGESTCACHEUPDATETASKSPECIFICATION_H
#define DIGESTCACHEUPDATETASKSPECIFICATION_H

#include "manifest/filespecifications.h"
#include "manifest/installationlayout.h"
#include "tasks/asynctaskspecification.h"

// Updates the digest cache after a complete installation, on the thread
// pool: with hundreds of thousands of files it reads as many stamps and
// writes megabytes, which would stall the window for seconds.
class DigestCacheUpdateTaskSpecification : public ASyncTaskSpecification
{
    Q_OBJECT
public:
    // `lists` is read when the task starts, not before.
    DigestCacheUpdateTaskSpecification(const InstallationLayout& layout, const FileSpecifications* lists,
        QObject* parent, double parentProgressRange);

public Q_SLOTS:
    ASyncFunc* createFunction() override;

private:
    const InstallationLayout layout;
    const FileSpecifications* lists;
};

#endif
