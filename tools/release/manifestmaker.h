#ifndef MANIFESTMAKER_H
#define MANIFESTMAKER_H

#include "manifest/productinientry.h"
#include "manifest/productiniline.h"
#include "manifest/releasemanifest.h"
#include "verify/ed25519key.h"

#include <QString>

#include <functional>
#include <vector>

// Writes the release manifest of a release directory, published or still
// staged, from its product ini and patch index as they lie there: one file
// line for each file line of the ini (IniFileLines), with the sums `sums`
// gives for it, then a signature of each key. An existing manifest is
// replaced atomically.
class ManifestMaker
{
public:
    // Fills in the sums of `file` for the ini's line `entry`; false, with
    // `error` set, when it cannot.
    using Sums
        = std::function<bool(const ProductIniEntry& entry, ReleaseManifest::File* file, QString* error)>;

    ManifestMaker() = delete;

    static bool write(const QString& directory, const ProductIniLine::Binding& binding,
        const std::vector<Ed25519Key>& keys, const Sums& sums, QString* error);
    // The sums of the files as the directory holds them; a file it lacks is
    // an error.
    static bool publishedSums(
        const QString& directory, const ProductIniEntry& entry, ReleaseManifest::File* file, QString* error);
};

#endif
