#include "leftoverscanfunc.h"

#include "fileops/filedeletelisttaskspecification.h"

LeftoverScanFunc::LeftoverScanFunc(const QString& root)
    : root(root)
{ }

bool LeftoverScanFunc::run()
{
    Q_EMIT scanned(FileDeleteListTaskSpecification::leftovers(root));
    return true;
}
