#include "manifest/chunkbinding.h"

#include "manifest/contenthasher.h"
#include "manifest/signedtext.h"

#include <limits>

using namespace SignedText;

namespace {

const QByteArray Magic = QByteArrayLiteral("voxmeadow-chunk-binding 1");
const QByteArray ReleaseTag = QByteArrayLiteral("release");
const QByteArray ManifestTag = QByteArrayLiteral("manifest");
const QByteArray ChunksTag = QByteArrayLiteral("chunks");
const QByteArray EndTag = QByteArrayLiteral("end");
const QByteArray SignatureTag = QByteArrayLiteral("signature");

} // namespace

QString ChunkBinding::fileName(const QString& updateType)
{
    return updateType + QStringLiteral(".chunks.binding");
}

QByteArray ChunkBinding::signingContext()
{
    return QByteArrayLiteral("voxmeadow chunk binding v1");
}

QByteArray ChunkBinding::body() const
{
    if (!isPathComponent(binding.updateType) || binding.version <= 0
        || manifestSha256.size() != ContentSum::Sha256Size || !isSha256(indexSha256) || indexSize < 0)
        return QByteArray();
    return Magic + '\n' + ReleaseTag + '\t' + binding.updateType.toUtf8() + '\t'
        + QByteArray::number(binding.version) + '\n' + ManifestTag + '\t' + manifestSha256.toHex() + '\n'
        + ChunksTag + '\t' + indexSha256.digest().toHex() + '\t' + QByteArray::number(indexSize) + '\n'
        + EndTag + '\n';
}

QByteArray ChunkBinding::serialize() const
{
    QByteArray text = body();
    if (text.isEmpty())
        return text;
    for (const Signature& signature : signatures)
        text += signatureLine(signature.publicKey, signature.signature) + '\n';
    return text;
}

QByteArray ChunkBinding::bodySha256() const
{
    const QByteArray text = body();
    return text.isEmpty() ? QByteArray() : ContentHasher::hash(text, ContentSum::Algorithm::Sha256);
}

bool ChunkBinding::parse(const QByteArray& data, QString* error)
{
    *this = ChunkBinding();
    const auto fail = [error](int line, const QString& why) {
        *error = QStringLiteral("line %1: %2").arg(line).arg(why);
        return false;
    };
    if (data.size() > MAX_SIZE)
        return fail(0, QStringLiteral("larger than %1 bytes").arg(MAX_SIZE));
    if (!data.endsWith('\n'))
        return fail(0, QStringLiteral("no newline at its end"));
    const QList<QByteArray> lines = data.chopped(1).split('\n');
    const auto fields = [&](int index, const QByteArray& tag, qsizetype count, Fields* out) {
        if (index >= lines.size())
            return fail(
                index + 1, QStringLiteral("the file ends before the %1 line").arg(QLatin1String(tag)));
        if (hasControlCharacter(QByteArrayView(lines.at(index))))
            return fail(index + 1, QStringLiteral("a control character"));
        *out = split(lines.at(index));
        if (out->front() != tag || out->size() != count)
            return fail(index + 1, QStringLiteral("expected the %1 line").arg(QLatin1String(tag)));
        return true;
    };
    if (lines.first() != Magic)
        return fail(1, QStringLiteral("not a chunk binding (expected \"%1\")").arg(QLatin1String(Magic)));
    Fields line;
    qint64 version = 0;
    if (!fields(1, ReleaseTag, 3, &line))
        return false;
    if (!parseText(line[1], &binding.updateType) || !isPathComponent(binding.updateType)
        || !parseNumber(line[2], &version) || version <= 0 || version > std::numeric_limits<int>::max())
        return fail(2, QStringLiteral("malformed release line"));
    binding.version = int(version);
    if (!fields(2, ManifestTag, 2, &line))
        return false;
    if (!parseHex(line[1], ContentSum::Sha256Size, &manifestSha256))
        return fail(3, QStringLiteral("the manifest's SHA-256 is malformed"));
    if (!fields(3, ChunksTag, 3, &line))
        return false;
    QByteArray digest;
    if (!parseHex(line[1], ContentSum::Sha256Size, &digest) || !parseNumber(line[2], &indexSize))
        return fail(4, QStringLiteral("the chunk index's SHA-256 or size is malformed"));
    indexSha256 = ContentSum::fromDigest(digest, ContentSum::Algorithm::Sha256);
    if (!fields(4, EndTag, 1, &line))
        return false;
    for (int i = 5; i < lines.size(); ++i) {
        if (signatures.size() == MAX_SIGNATURES)
            return fail(i + 1, QStringLiteral("more than %1 signatures").arg(MAX_SIGNATURES));
        Signature signature;
        if (!fields(i, SignatureTag, 3, &line))
            return false;
        if (!parseSignature(line, &signature.publicKey, &signature.signature))
            return fail(
                i + 1, QStringLiteral("a signature line holds a 32-byte key and a 64-byte signature"));
        signatures << signature;
    }
    return true;
}
