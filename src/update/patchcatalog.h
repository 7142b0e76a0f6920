#ifndef PATCHCATALOG_H
#define PATCHCATALOG_H

#include "manifest/contentsum.h"
#include "manifest/patchindex.h"
#include "manifest/releasemanifest.h"

#include <QHash>
#include <QMultiHash>
#include <QString>

#include <functional>

// The run's patch index as the list compiler consults it. It is used only
// when its signature verifies with the built-in key and it was released for
// the run's type and version, and, where a release manifest vouches for the
// release, when the manifest names exactly this index; otherwise every file
// comes whole.
class PatchCatalog
{
public:
    using Log = std::function<void(const QString&)>;

    // Reads the index at indexPath (with indexPath + ".sig"); says through
    // `log` why one that is there cannot be used, and which records are
    // left out. False when there is none to use.
    bool load(const QString& indexPath, const ProductIniLine::Binding& wanted, const Log& log,
        const ReleaseManifest::Header* manifest = nullptr);

    // Notes that the product ini lists `key` with this installed content.
    void noteListed(const QString& key, const ContentSum& resultMd5, qint64 resultSize);
    // The patch that turns `key`'s installed content (baseMd5, baseSize)
    // into the listed one (resultMd5, resultSize); null when there is none.
    const PatchIndex::Entry* find(const QString& key, const ContentSum& baseMd5, qint64 baseSize,
        const ContentSum& resultMd5, qint64 resultSize) const;
    // Reports the patched keys that the product ini does not list, and
    // those whose patches give another content than the one listed.
    void reportUnused(const Log& log) const;

private:
    QMultiHash<QString, PatchIndex::Entry> entries;
    // Per key in the index: whether the product ini listed it, and whether
    // one of its patches gives the listed content.
    struct Use
    {
        bool listed = false;
        bool resultListed = false;
    };
    QHash<QString, Use> uses;
    // The index's sums: a patch counts only where they are of the
    // release's own algorithm, as the sums it is compared with are.
    ContentSum::Algorithm algorithm = ContentSum::Algorithm::Md5;
};

#endif
