#ifndef PATCHAPPLYTASKSPECIFICATION_H
#define PATCHAPPLYTASKSPECIFICATION_H

#include "manifest/filepatchspecification.h"
#include "tasks/asynctaskspecification.h"

// Applies one downloaded patch to its installed file on a pool thread (see
// PatchApplyFunc); its message is the reason when it fails.
class PatchApplyTaskSpecification : public ASyncTaskSpecification
{
    Q_OBJECT

public:
    PatchApplyTaskSpecification(const FilePatchSpecification& patch, const QString& basePath,
        const QString& patchPath, const QString& resultPath, QObject* parent, double parentProgressRange);

public Q_SLOTS:
    ASyncFunc* createFunction() override;

private:
    FilePatchSpecification patch;
    QString basePath;
    QString patchPath;
    QString resultPath;
};

#endif
