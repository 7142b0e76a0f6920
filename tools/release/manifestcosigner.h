#ifndef MANIFESTCOSIGNER_H
#define MANIFESTCOSIGNER_H

#include "manifest/productinientry.h"
#include "manifest/releasemanifest.h"
#include "verify/ed25519key.h"

#include <QDir>
#include <QString>
#include <QStringList>

// Adds one more key's signature to the manifest of a published release. The
// signer vouches for what the release directory holds, so everything the
// manifest binds is checked first: its form and release line, the product
// ini's and patch index's digests, and every listed file (a packed one
// unpacked too) against both the manifest and the product ini's line. The
// manifest is then rewritten atomically with its body unchanged and the
// earlier signatures kept; a chunk binding gets the key's signature too.
class ManifestCosigner
{
public:
    enum class Result { Signed, AlreadySigned, Refused };

    ManifestCosigner(const QString& releaseDirectory, const QString& updateType);

    Result sign(const Ed25519Key& key);
    QString manifestPath() const;
    QString errorString() const { return error; }
    // Earlier signatures that do not verify: kept, but worth a word.
    QStringList warnings() const { return warningList; }

private:
    bool fail(const QString& text);
    bool checkHeader(const ReleaseManifest::Header& header);
    bool checkFile(const ProductIniEntry& entry, const ReleaseManifest::File& file);
    bool rewrite(const Ed25519Key& key, const QByteArray& checkedBody);
    // Adds the key's signature to the chunk binding, where the release has
    // one, once it names this manifest and the chunk index as it lies.
    bool signChunkBinding(const Ed25519Key& key, const QByteArray& checkedBody);

    QDir root;
    QString type;
    QString error;
    QStringList warningList;
};

#endif
