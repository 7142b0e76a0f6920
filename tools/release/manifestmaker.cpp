#include "manifestmaker.h"

#include "filepacker.h"
#include "inifilelines.h"
#include "manifest/patchindex.h"
#include "stagedfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

bool ManifestMaker::write(const QString& directory, const ProductIniLine::Binding& binding,
    const std::vector<Ed25519Key>& keys, const Sums& sums, QString* error)
{
    const QDir root(directory);
    const QString iniPath = root.filePath(binding.updateType + QStringLiteral(".ini"));
    const QString patchesPath = root.filePath(PatchIndex::fileName(binding.updateType));
    const QString path = root.filePath(ReleaseManifest::fileName(binding.updateType));

    ReleaseManifest::Header header;
    header.binding = binding;
    header.published = QDateTime::currentSecsSinceEpoch();
    FileDigest digest;
    if (!FilePacker::digest(iniPath, &digest, error))
        return false;
    header.iniSha256 = digest.sha256;
    header.iniSize = digest.size;
    if (QFileInfo::exists(patchesPath)) {
        if (!FilePacker::digest(patchesPath, &digest, error))
            return false;
        header.patchesSha256 = digest.sha256;
        header.patchesSize = digest.size;
    }

    StagedFile output;
    if (!output.create(path, StagedFile::Readable, error))
        return false;
    ReleaseManifest::Writer writer(&output.file(), header);
    IniFileLines lines(iniPath);
    ProductIniEntry entry;
    while (lines.next(&entry)) {
        ReleaseManifest::File file;
        file.section = entry.download.section;
        file.key = entry.download.fileName;
        if (!sums(entry, &file, error))
            return false;
        writer.addFile(file);
        if (!writer.ok() && output.file().error() == QFileDevice::NoError) {
            *error = QStringLiteral("[%1] %2 cannot be listed in a release manifest")
                         .arg(file.section, file.key);
            return false;
        }
    }
    if (!lines.intact()) {
        *error = QStringLiteral("%1 changed while it was read").arg(iniPath);
        return false;
    }
    const QByteArray body = writer.finish();
    const QByteArray message = Ed25519Key::signedMessage(ReleaseManifest::signingContext(), body);
    QList<QByteArray> signers;
    for (const Ed25519Key& key : keys) {
        // A second signature of one key would count once and only look like more.
        if (signers.contains(key.publicKey())) {
            *error = QStringLiteral("the manifest key %1 is given twice")
                         .arg(QString::fromLatin1(key.publicKey().toHex()));
            return false;
        }
        signers << key.publicKey();
        writer.writeSignature({ key.publicKey(), key.sign(message) });
    }
    if (!writer.ok()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, output.file().errorString());
        return false;
    }
    return output.finish(error) && output.moveTo(path, false, error);
}

bool ManifestMaker::publishedSums(
    const QString& directory, const ProductIniEntry& entry, ReleaseManifest::File* file, QString* error)
{
    const QString path
        = QDir(directory).filePath(entry.download.section + QLatin1Char('/') + entry.download.fileName);
    FileDigest published;
    if (!FilePacker::digest(path, &published, error))
        return false;
    file->sha256 = published.sha256;
    file->size = published.size;
    if (!entry.replace.hasUnzip())
        return true;
    FileDigest unpacked;
    if (!FilePacker::digestUnpacked(path, &unpacked, error))
        return false;
    file->unpackedSha256 = unpacked.sha256;
    file->unpackedSize = unpacked.size;
    return true;
}
