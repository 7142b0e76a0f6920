#include "digestcacheupdatefunc.h"

#include "update/digestcache.h"
#include "update/twothreads.h"

#include <QFile>

#include <unistd.h>

namespace {

// Removals a thread makes in a row: a directory's are mostly one run, which
// keeps the two threads out of each other's directory.
constexpr size_t UnlinkRun = 64;

} // namespace

DigestCacheUpdateFunc::DigestCacheUpdateFunc(
    const InstallationLayout& layout, const FileSpecifications& lists)
    : layout(layout)
    , lists(lists)
{ }

bool DigestCacheUpdateFunc::run()
{
    const QList<FileReplaceSpecification>& records = lists.replaceList;
    onTwoThreads(
        size_t(records.size()),
        [&](size_t i) {
            ::unlink(QFile::encodeName(layout.downloadedPath(records[qsizetype(i)].fileName)).constData());
        },
        UnlinkRun);
    DigestCache cache(layout.installedPath(DigestCache::fileName()), lists.algorithm);
    cache.load();
    cache.saveWithInstalled(layout.root(), lists, DigestCache::fileClockNowNs());
    return true;
}
