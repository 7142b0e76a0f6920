#include "fileops/patchapplytaskspecification.h"

#include "fileops/patchapplyfunc.h"

PatchApplyTaskSpecification::PatchApplyTaskSpecification(const FilePatchSpecification& patch,
    const QString& basePath, const QString& patchPath, const QString& resultPath, QObject* parent,
    double parentProgressRange)
    : ASyncTaskSpecification(parent, parentProgressRange)
    , patch(patch)
    , basePath(basePath)
    , patchPath(patchPath)
    , resultPath(resultPath)
{ }

ASyncFunc* PatchApplyTaskSpecification::createFunction()
{
    return new PatchApplyFunc(patch, basePath, patchPath, resultPath);
}
