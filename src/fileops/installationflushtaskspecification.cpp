#include "installationflushtaskspecification.h"

#include "fileops/installationflushfunc.h"

InstallationFlushTaskSpecification::InstallationFlushTaskSpecification(
    const QString& root, QObject* parent, double parentProgressRange)
    : ASyncTaskSpecification(parent, parentProgressRange)
    , root(root)
{ }

ASyncFunc* InstallationFlushTaskSpecification::createFunction()
{
    return new InstallationFlushFunc(root);
}
