#include "update/patchcatalog.h"

#include "manifest/contenthasher.h"
#include "verify/checksigfunc.h"

#include <QFile>

bool PatchCatalog::load(const QString& indexPath, const ProductIniLine::Binding& wanted, const Log& log,
    const ReleaseManifest::Header* manifest)
{
    entries.clear();
    uses.clear();
    if (!QFile::exists(indexPath))
        return false;
    const auto refuse = [&log](const QString& why) {
        log(QStringLiteral("Patch index %1; it is ignored and every file comes whole").arg(why));
        return false;
    };
    CheckSigFunc signature(indexPath, FileCheck::detachedSignature());
    if (!signature.run())
        return refuse(QStringLiteral("does not verify"));
    QFile file(indexPath);
    if (!file.open(QIODevice::ReadOnly) || file.size() > PatchIndex::MAX_SIZE)
        return refuse(QStringLiteral("cannot be read"));
    const QByteArray content = file.readAll();
    if (manifest && !manifest->hasPatches())
        return refuse(QStringLiteral("is not named by the release manifest"));
    if (manifest
        && (content.size() != manifest->patchesSize
            || !manifest->patchesSha256.matches(ContentHasher::hash(content, ContentSum::Algorithm::Sha256))))
        return refuse(QStringLiteral("is not the one the release manifest names"));
    PatchIndex index;
    QStringList problems;
    if (!index.parse(content, &problems))
        return refuse(QStringLiteral("is not in the patch index format"));
    if (!(index.binding == wanted))
        return refuse(QStringLiteral("was released for %1 version %2, not for %3 version %4")
                          .arg(index.binding.updateType)
                          .arg(index.binding.version)
                          .arg(wanted.updateType)
                          .arg(wanted.version));
    for (const QString& problem : std::as_const(problems))
        log(QStringLiteral("Patch index %1; that record is ignored").arg(problem));
    algorithm = index.algorithm;
    for (const PatchIndex::Entry& entry : std::as_const(index.entries)) {
        entries.insert(entry.key, entry);
        uses.insert(entry.key, Use());
    }
    log(QStringLiteral("Patch index lists %1 patches").arg(index.entries.size()));
    return !entries.isEmpty();
}

namespace {

bool gives(
    const PatchIndex::Entry& entry, ContentSum::Algorithm algorithm, const ContentSum& sum, qint64 size)
{
    return entry.resultSize == size && ContentSum::fromText(entry.resultMd5, algorithm) == sum;
}

} // namespace

void PatchCatalog::noteListed(const QString& key, const ContentSum& resultMd5, qint64 resultSize)
{
    const auto use = uses.find(key);
    if (use == uses.end())
        return;
    use->listed = true;
    for (auto it = entries.constFind(key); it != entries.cend() && it.key() == key; ++it)
        use->resultListed = use->resultListed || gives(it.value(), algorithm, resultMd5, resultSize);
}

const PatchIndex::Entry* PatchCatalog::find(const QString& key, const ContentSum& baseMd5, qint64 baseSize,
    const ContentSum& resultMd5, qint64 resultSize) const
{
    for (auto it = entries.constFind(key); it != entries.cend() && it.key() == key; ++it) {
        const PatchIndex::Entry& entry = it.value();
        if (gives(entry, algorithm, resultMd5, resultSize) && entry.baseSize == baseSize
            && ContentSum::fromText(entry.baseMd5, algorithm) == baseMd5)
            return &entry;
    }
    return nullptr;
}

void PatchCatalog::reportUnused(const Log& log) const
{
    for (auto it = uses.cbegin(); it != uses.cend(); ++it) {
        if (!it->listed)
            log(QStringLiteral("Patch index lists %1, which the product ini does not; ignored")
                    .arg(it.key()));
        else if (!it->resultListed)
            log(QStringLiteral("Patch index gives %1 another content than the product ini; it comes whole")
                    .arg(it.key()));
    }
}
