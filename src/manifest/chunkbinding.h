#ifndef CHUNKBINDING_H
#define CHUNKBINDING_H

#include "manifest/contentsum.h"
#include "manifest/productiniline.h"
#include "manifest/releasemanifest.h"

#include <QByteArray>
#include <QList>
#include <QString>

// Binds a release's chunk index to its release manifest, published as
// "<type>.chunks.binding": the manifest itself has no line for it, since
// updaters that know no such line refuse the manifest. UTF-8 text, fields
// separated by tabs, in exactly this order:
//
//   voxmeadow-chunk-binding 1
//   release <type> <version>
//   manifest <sha256 of the manifest's body>
//   chunks <sha256> <size>                   the chunk index's bytes
//   end
//   signature <public key> <signature>       hexadecimal (32 and 64 bytes)
//   ...
//
// The body is everything up to and including the end line; each signature
// covers Ed25519Key::signedMessage(signingContext(), SHA-256 of the body),
// made by the keys that sign the manifest.
class ChunkBinding
{
public:
    static constexpr qint64 MAX_SIZE = 16 * 1024;
    static constexpr int MAX_SIGNATURES = 16;

    using Signature = ReleaseManifest::Signature;

    static QString fileName(const QString& updateType);
    static QByteArray signingContext();

    // The body's text; empty when a field is not valid.
    QByteArray body() const;
    QByteArray serialize() const;
    // Reads a whole binding; false, with `error`, on anything out of its
    // place or form.
    bool parse(const QByteArray& data, QString* error);
    // The body's SHA-256 (raw), what the signatures cover.
    QByteArray bodySha256() const;

    ProductIniLine::Binding binding;
    // The manifest body's SHA-256, raw.
    QByteArray manifestSha256;
    ContentSum indexSha256;
    qint64 indexSize = 0;
    QList<Signature> signatures;
};

#endif
