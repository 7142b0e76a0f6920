#include "update/changelogvouch.h"

#include "manifest/contenthasher.h"
#include "manifest/releasemanifest.h"
#include "manifest/releasemarker.h"

ChangelogVouch::Verdict ChangelogVouch::judge(const QString& manifestPath, const ReleaseTrust& trust,
    const ProductIniLine::Binding& release, const QByteArray& changelog)
{
    ReleaseManifest::Reader manifest(manifestPath);
    if (!manifest.open() || !(manifest.header().binding == release))
        return Verdict::NoManifest;
    const QString name = ReleaseMarker::changelogFileName();
    const QString packedName = name + QStringLiteral(".gz");
    ReleaseManifest::File file;
    ReleaseManifest::File listed;
    bool found = false;
    while (manifest.nextFile(&file)) {
        if (file.isPacked() ? file.key == packedName : file.key == name) {
            listed = file;
            found = true;
        }
    }
    if (manifest.failed() || !trust.reachesThreshold(manifest.bodySha256(), manifest.signatures()))
        return Verdict::NoManifest;
    if (!found)
        return Verdict::NotListed;
    const ContentSum& sum = listed.isPacked() ? listed.unpackedSha256 : listed.sha256;
    const qint64 size = listed.isPacked() ? listed.unpackedSize : listed.size;
    if (changelog.size() != size
        || !sum.matches(ContentHasher::hash(changelog, ContentSum::Algorithm::Sha256)))
        return Verdict::Mismatch;
    return Verdict::Vouched;
}
