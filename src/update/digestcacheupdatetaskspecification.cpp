#include "digestcacheupdatetaskspecification.h"

#include "update/digestcacheupdatefunc.h"

DigestCacheUpdateTaskSpecification::DigestCacheUpdateTaskSpecification(const InstallationLayout& layout,
    const FileSpecifications* lists, QObject* parent, double parentProgressRange)
    : ASyncTaskSpecification(parent, parentProgressRange)
    , layout(layout)
    , lists(lists)
{ }

ASyncFunc* DigestCacheUpdateTaskSpecification::createFunction()
{
    return new DigestCacheUpdateFunc(layout, *lists);
}
