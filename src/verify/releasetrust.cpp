#include "verify/releasetrust.h"

#include "verify/ed25519key.h"

#include "buildconfig.h"

#include <QRegularExpression>

namespace {

QList<QByteArray> parseKeys(const QString& text)
{
    QList<QByteArray> keys;
    static const QRegularExpression separators(QStringLiteral("[;,\\s]+"));
    for (const QString& hex : text.split(separators, Qt::SkipEmptyParts)) {
        const QByteArray raw = QByteArray::fromHex(hex.toLatin1());
        if (hex.size() == 2 * Ed25519Key::KeySize && raw.size() == Ed25519Key::KeySize
            && raw.toHex() == hex.toLower().toLatin1())
            keys.append(raw);
    }
    return keys;
}

} // namespace

const ReleaseTrust& ReleaseTrust::builtIn()
{
    static const ReleaseTrust trust = fromText(QStringLiteral(VOXMEADOW_RELEASE_KEYS),
        VOXMEADOW_RELEASE_THRESHOLD, QStringLiteral(VOXMEADOW_REVOKED_KEYS), VOXMEADOW_LEGACY_BELOW);
    return trust;
}

ReleaseTrust ReleaseTrust::fromText(
    const QString& keys, int threshold, const QString& revoked, int legacyBelow)
{
    ReleaseTrust trust;
    trust.keys = parseKeys(keys);
    trust.revoked = parseKeys(revoked);
    // No threshold below one: an unsigned manifest never counts.
    trust.threshold = qMax(1, threshold);
    trust.legacyBelow = legacyBelow;
    return trust;
}

bool ReleaseTrust::requiresManifest(int version) const
{
    return !keys.isEmpty() && !isLegacy(version);
}

int ReleaseTrust::validSignatures(const QByteArray& context, const QByteArray& bodySha256,
    const QList<ReleaseManifest::Signature>& signatures) const
{
    const QByteArray message = Ed25519Key::signedMessage(context, bodySha256);
    QList<QByteArray> counted;
    for (const ReleaseManifest::Signature& signature : signatures) {
        const QByteArray& signer = signature.publicKey;
        // Only a key built in counts, each once however often it signed.
        if (!counts(signer) || counted.contains(signer))
            continue;
        if (Ed25519Key::fromPublic(signer).verify(message, signature.signature))
            counted.append(signer);
    }
    return int(counted.size());
}

QList<QByteArray> ReleaseTrust::validSigners(const QByteArray& context, const QByteArray& bodySha256,
    const QList<ReleaseManifest::Signature>& signatures)
{
    const QByteArray message = Ed25519Key::signedMessage(context, bodySha256);
    QList<QByteArray> signers;
    for (const ReleaseManifest::Signature& signature : signatures) {
        if (!signers.contains(signature.publicKey)
            && Ed25519Key::fromPublic(signature.publicKey).verify(message, signature.signature))
            signers.append(signature.publicKey);
    }
    return signers;
}
