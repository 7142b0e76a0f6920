#include "manifestcosigner.h"

#include "filepacker.h"
#include "inifilelines.h"
#include "manifest/chunkbinding.h"
#include "manifest/chunkindex.h"
#include "manifest/patchindex.h"
#include "stagedfile.h"

#include <QFileInfo>

ManifestCosigner::ManifestCosigner(const QString& releaseDirectory, const QString& updateType)
    : root(releaseDirectory)
    , type(updateType)
{ }

QString ManifestCosigner::manifestPath() const
{
    return root.filePath(ReleaseManifest::fileName(type));
}

bool ManifestCosigner::fail(const QString& text)
{
    error = text;
    return false;
}

ManifestCosigner::Result ManifestCosigner::sign(const Ed25519Key& key)
{
    error.clear();
    warningList.clear();
    if (!key.isPrivate()) {
        fail(QStringLiteral("signing needs a private key"));
        return Result::Refused;
    }
    // The whole manifest first: its signatures come last.
    ReleaseManifest::Reader manifest(manifestPath());
    if (!manifest.open() || !manifest.readToEnd()) {
        fail(QStringLiteral("%1: %2").arg(manifestPath(), manifest.errorString()));
        return Result::Refused;
    }
    if (!checkHeader(manifest.header()))
        return Result::Refused;
    const QByteArray message
        = Ed25519Key::signedMessage(ReleaseManifest::signingContext(), manifest.bodySha256());
    bool signedBefore = false;
    for (const ReleaseManifest::Signature& signature : manifest.signatures()) {
        signedBefore = signedBefore || signature.publicKey == key.publicKey();
        if (!Ed25519Key::fromPublic(signature.publicKey).verify(message, signature.signature))
            warningList << QStringLiteral("the signature of key %1 does not verify")
                               .arg(QString::fromLatin1(signature.publicKey.toHex()));
    }
    if (!signChunkBinding(key, manifest.bodySha256()))
        return Result::Refused;
    if (signedBefore)
        return Result::AlreadySigned;
    if (manifest.signatures().size() >= ReleaseManifest::MAX_SIGNATURES) {
        fail(QStringLiteral("%1 holds %2 signatures, the most a manifest may hold")
                 .arg(manifestPath())
                 .arg(manifest.signatures().size()));
        return Result::Refused;
    }
    return rewrite(key, manifest.bodySha256()) ? Result::Signed : Result::Refused;
}

bool ManifestCosigner::checkHeader(const ReleaseManifest::Header& header)
{
    const QString name = QFileInfo(root.absolutePath()).fileName();
    bool ok = false;
    const int version = name.toInt(&ok);
    if (!ok || version <= 0 || QString::number(version) != name)
        return fail(QStringLiteral("%1 is not a release directory: its name is not a version number")
                        .arg(root.path()));
    if (!(header.binding == ProductIniLine::Binding { type, version }))
        return fail(QStringLiteral("%1 was published for %2 version %3, not for %4 version %5")
                        .arg(manifestPath(), header.binding.updateType)
                        .arg(header.binding.version)
                        .arg(type)
                        .arg(version));

    const auto matches = [this](const QString& path, const ContentSum& sha256, qint64 size) {
        FileDigest digest;
        if (!FilePacker::digest(path, &digest, &error))
            return false;
        if (digest.sha256 != sha256 || digest.size != size)
            return fail(QStringLiteral("%1 is not the file the manifest lists (size or SHA-256)").arg(path));
        return true;
    };
    const QString patches = root.filePath(PatchIndex::fileName(type));
    if (!header.hasPatches() && QFileInfo::exists(patches))
        return fail(QStringLiteral("%1 is not listed in the manifest").arg(patches));
    return matches(root.filePath(type + QStringLiteral(".ini")), header.iniSha256, header.iniSize)
        && (!header.hasPatches() || matches(patches, header.patchesSha256, header.patchesSize));
}

bool ManifestCosigner::checkFile(const ProductIniEntry& entry, const ReleaseManifest::File& file)
{
    const QString where = QStringLiteral("[%1] %2").arg(file.section, file.key);
    if (file.section != entry.download.section || file.key != entry.download.fileName)
        return fail(QStringLiteral("the manifest lists %1 where the product ini lists [%2] %3")
                        .arg(where, entry.download.section, entry.download.fileName));
    if (file.isPacked() != entry.replace.hasUnzip())
        return fail(
            QStringLiteral("%1 is packed in the manifest or the product ini, not in both").arg(where));
    const QString path = root.filePath(file.section + QLatin1Char('/') + file.key);
    const auto matches = [&](const FileDigest& found, const ContentSum& sha256, qint64 size,
                             const ContentSum& md5, qint64 listedSize, const QString& what) {
        if (found.sha256 != sha256 || found.size != size)
            return fail(
                QStringLiteral("%1 does not hold %2 the manifest lists (size or SHA-256)").arg(path, what));
        if (ContentSum::fromText(found.md5) != md5 || found.size != listedSize)
            return fail(
                QStringLiteral("%1 does not hold %2 the product ini lists (size or MD5)").arg(path, what));
        return true;
    };
    FileDigest published;
    FileDigest unpacked;
    return FilePacker::digest(path, &published, &error)
        && matches(published, file.sha256, file.size, entry.download.md5, entry.download.size,
            QStringLiteral("the content"))
        && (!file.isPacked()
            || (FilePacker::digestUnpacked(path, &unpacked, &error)
                && matches(unpacked, file.unpackedSha256, file.unpackedSize, entry.replace.unzipMd5,
                    entry.replace.unzipSize, QStringLiteral("the unpacked content"))));
}

bool ManifestCosigner::rewrite(const Ed25519Key& key, const QByteArray& checkedBody)
{
    // Read again beside the product ini; what the manifest lists is written
    // back as read, which gives the same bytes: the format has one spelling.
    ReleaseManifest::Reader manifest(manifestPath());
    if (!manifest.open())
        return fail(QStringLiteral("%1: %2").arg(manifestPath(), manifest.errorString()));
    StagedFile output;
    if (!output.create(manifestPath(), QFile::permissions(manifestPath()), &error))
        return false;
    ReleaseManifest::Writer writer(&output.file(), manifest.header());
    IniFileLines lines(root.filePath(type + QStringLiteral(".ini")));
    ProductIniEntry entry;
    ReleaseManifest::File file;
    while (lines.next(&entry)) {
        if (!manifest.nextFile(&file))
            return fail(manifest.failed()
                    ? manifest.errorString()
                    : QStringLiteral("the manifest lists fewer files than the product ini"));
        if (!checkFile(entry, file))
            return false;
        writer.addFile(file);
    }
    if (manifest.nextFile(&file))
        return fail(QStringLiteral("the manifest lists [%1] %2, which the product ini does not")
                        .arg(file.section, file.key));
    if (manifest.failed())
        return fail(QStringLiteral("%1: %2").arg(manifestPath(), manifest.errorString()));
    if (!lines.intact())
        return fail(QStringLiteral("the product ini changed while it was read"));
    const QByteArray body = writer.finish();
    if (body != checkedBody || body != manifest.bodySha256())
        return fail(QStringLiteral("%1 changed while it was checked").arg(manifestPath()));
    for (const ReleaseManifest::Signature& signature : manifest.signatures())
        writer.writeSignature(signature);
    writer.writeSignature(
        { key.publicKey(), key.sign(Ed25519Key::signedMessage(ReleaseManifest::signingContext(), body)) });
    if (!writer.ok())
        return fail(
            QStringLiteral("cannot write beside %1: %2").arg(manifestPath(), output.file().errorString()));
    return output.finish(&error) && output.moveTo(manifestPath(), false, &error);
}

bool ManifestCosigner::signChunkBinding(const Ed25519Key& key, const QByteArray& checkedBody)
{
    const QString path = root.filePath(ChunkBinding::fileName(type));
    if (!QFileInfo::exists(path))
        return true;
    QFile file(path);
    ChunkBinding binding;
    QString why;
    if (!file.open(QIODevice::ReadOnly) || !binding.parse(file.read(ChunkBinding::MAX_SIZE + 1), &why))
        return fail(QStringLiteral("%1: %2").arg(path, why.isEmpty() ? file.errorString() : why));
    if (binding.manifestSha256 != checkedBody)
        return fail(QStringLiteral("%1 does not name the manifest beside it").arg(path));
    const QString indexPath = root.filePath(ChunkIndex::fileName(type));
    ChunkIndex::Reader index(indexPath);
    ChunkIndex::File entry;
    ChunkIndex::Chunk chunk;
    if (index.open()) {
        while (index.nextFile(&entry)) {
            while (index.nextChunk(&chunk)) { }
        }
    }
    if (!index.done())
        return fail(QStringLiteral("%1: %2").arg(indexPath, index.errorString()));
    if (!(index.binding() == binding.binding) || !binding.indexSha256.matches(index.sha256())
        || index.size() != binding.indexSize)
        return fail(QStringLiteral("%1 is not the chunk index %2 names").arg(indexPath, path));
    for (const ChunkBinding::Signature& signature : std::as_const(binding.signatures)) {
        if (signature.publicKey == key.publicKey())
            return true;
    }
    if (binding.signatures.size() >= ChunkBinding::MAX_SIGNATURES)
        return fail(QStringLiteral("%1 holds the most signatures it may").arg(path));
    binding.signatures << ChunkBinding::Signature { key.publicKey(),
        key.sign(Ed25519Key::signedMessage(ChunkBinding::signingContext(), binding.bodySha256())) };
    StagedFile output;
    return output.write(path, binding.serialize(), QFile::permissions(path), &error)
        && output.moveTo(path, false, &error);
}
