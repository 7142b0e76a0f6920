#include "digestcacheupdatefunc.h"

#include "update/digestcache.h"

#include <QFile>

#include <unistd.h>

DigestCacheUpdateFunc::DigestCacheUpdateFunc(
    const InstallationLayout& layout, const FileSpecifications& lists)
    : layout(layout)
    , lists(lists)
{ }

bool DigestCacheUpdateFunc::run()
{
    for (const FileReplaceSpecification& record : lists.replaceList)
        ::unlink(QFile::encodeName(layout.downloadedPath(record.fileName)).constData());
    DigestCache cache(layout.installedPath(DigestCache::fileName()));
    cache.load();
    cache.saveWithInstalled(layout.root(), lists, DigestCache::fileClockNowNs());
    return true;
}
