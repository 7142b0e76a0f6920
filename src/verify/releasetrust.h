#ifndef RELEASETRUST_H
#define RELEASETRUST_H

#include "manifest/releasemanifest.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Which Ed25519 keys vouch for a release, and how many of them must: the
// updater's built-in policy (CMake cache variables VOXMEADOW_RELEASE_KEYS,
// VOXMEADOW_RELEASE_THRESHOLD, VOXMEADOW_REVOKED_KEYS and
// VOXMEADOW_LEGACY_BELOW), or one a test makes. A policy with no keys
// requires no manifest: the product ini's signature and MD5 sums alone.
class ReleaseTrust
{
public:
    // Raw 32-byte public keys; a revoked key counts for nothing even when
    // it is listed among `keys` too.
    QList<QByteArray> keys;
    QList<QByteArray> revoked;
    int threshold = 1;
    // Releases below this version may come without a manifest; 0: none may.
    int legacyBelow = 0;

    static const ReleaseTrust& builtIn();
    // The policy from the text forms of the build: keys as hexadecimal,
    // separated by ";" or ",". Malformed keys are left out.
    static ReleaseTrust fromText(const QString& keys, int threshold, const QString& revoked, int legacyBelow);

    // Whether a release of this version must come with a manifest that
    // reaches the threshold.
    bool requiresManifest(int version) const;
    // Whether a release of this version lies below the legacy floor, where
    // a product ini without its type and version is still taken.
    bool isLegacy(int version) const { return legacyBelow > 0 && version > 0 && version < legacyBelow; }
    // The distinct, unrevoked built-in keys with a valid signature over the
    // body digest among `signatures`: a key signing twice counts once.
    int validSignatures(
        const QByteArray& bodySha256, const QList<ReleaseManifest::Signature>& signatures) const
    {
        return validSignatures(ReleaseManifest::signingContext(), bodySha256, signatures);
    }
    // The same for a document of another kind, signed under its `context`.
    int validSignatures(const QByteArray& context, const QByteArray& bodySha256,
        const QList<ReleaseManifest::Signature>& signatures) const;
    // The distinct keys, trusted here or not, with a valid signature among
    // `signatures`: what a refusal names and a publisher is told.
    static QList<QByteArray> validSigners(const QByteArray& context, const QByteArray& bodySha256,
        const QList<ReleaseManifest::Signature>& signatures);
    // Whether a signature of `key` counts here: listed and not revoked.
    bool counts(const QByteArray& key) const { return keys.contains(key) && !revoked.contains(key); }
    bool reachesThreshold(int signers) const { return threshold > 0 && signers >= threshold; }
    bool reachesThreshold(
        const QByteArray& bodySha256, const QList<ReleaseManifest::Signature>& signatures) const
    {
        return reachesThreshold(validSignatures(bodySha256, signatures));
    }
};

#endif
