#ifndef CHANGELOGVOUCH_H
#define CHANGELOGVOUCH_H

#include "manifest/productiniline.h"
#include "verify/releasetrust.h"

#include <QByteArray>
#include <QString>

// Whether a release's signed manifest vouches for its changelog. The release
// tool installs the changelog given to publish as an ordinary file of the
// release (ReleaseMarker::changelogFileName()), so the manifest lists its
// SHA-256 and size like any file's and older updaters read the manifest as
// before; the copy beside the product ini that windows fetch must be that
// file's content.
class ChangelogVouch
{
public:
    enum class Verdict {
        Vouched,
        // The manifest is missing, malformed, of another release or short
        // of the threshold.
        NoManifest,
        // The manifest lists no changelog.
        NotListed,
        // The changelog is not the content the manifest lists.
        Mismatch
    };

    static Verdict judge(const QString& manifestPath, const ReleaseTrust& trust,
        const ProductIniLine::Binding& release, const QByteArray& changelog);
};

#endif
