#include "previousrelease.h"

#include "manifest/contenthasher.h"
#include "manifest/releasemanifest.h"
#include "releasekey.h"
#include "verify/ed25519key.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

bool readWhole(const QString& path, QByteArray* content, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    *content = file.readAll();
    return true;
}

} // namespace

bool PreviousRelease::read(
    const QString& iniPath, const QString& updateType, const ReleaseKey& key, QString* error)
{
    this->iniPath = iniPath;
    type = updateType;
    ini = ProductIniFile();
    warningList.clear();
    const QFileInfo info(iniPath);
    const QString directory = info.absoluteDir().dirName();
    bool ok = false;
    version = directory.toInt(&ok);
    if (info.fileName() != updateType + QStringLiteral(".ini") || !ok || version <= 0
        || QString::number(version) != directory) {
        *error = QStringLiteral("%1 is not the product ini of a published release (RELEASE_DIR/%2.ini, "
                                "RELEASE_DIR named by its version)")
                     .arg(iniPath, updateType);
        return false;
    }

    QByteArray content;
    QByteArray signature;
    if (!readWhole(iniPath, &content, error)
        || !readWhole(iniPath + QStringLiteral(".sig"), &signature, error))
        return false;
    if (!key.verify(content, signature)) {
        *error = QStringLiteral("%1 does not verify with its signature %1.sig: it is not the product ini "
                                "published with this key (another key: --previous-key)")
                     .arg(iniPath);
        return false;
    }
    if (!ini.read(iniPath, error))
        return false;
    const QList<ProductIniLine::Binding> bindings = ProductIniLine::readBindings(iniPath);
    const ProductIniLine::Binding place { updateType, version };
    for (const ProductIniLine::Binding& binding : bindings) {
        if (!(binding == place)) {
            *error = QStringLiteral("%1 was published for %2 version %3, not for the release directory "
                                    "of %4 version %5 it lies in")
                         .arg(iniPath, binding.updateType)
                         .arg(binding.version)
                         .arg(updateType)
                         .arg(version);
            return false;
        }
    }
    if (bindings.isEmpty())
        warningList << QStringLiteral("%1 records no type and version (published before inis did); "
                                      "its place cannot be checked")
                           .arg(iniPath);
    const QString manifest = info.absoluteDir().filePath(ReleaseManifest::fileName(updateType));
    if (QFileInfo::exists(manifest) && !checkManifest(manifest, content, error))
        return false;

    // What was parsed must be what was verified.
    QByteArray again;
    if (!readWhole(iniPath, &again, error))
        return false;
    if (again != content) {
        *error = QStringLiteral("%1 changed while it was read").arg(iniPath);
        return false;
    }
    return true;
}

bool PreviousRelease::checkManifest(const QString& path, const QByteArray& iniContent, QString* error) const
{
    ReleaseManifest::Reader manifest(path);
    if (!manifest.open() || !manifest.readToEnd()) {
        *error = QStringLiteral("%1: %2").arg(path, manifest.errorString());
        return false;
    }
    const ReleaseManifest::Header& header = manifest.header();
    if (!(header.binding == ProductIniLine::Binding { type, version })) {
        *error = QStringLiteral("%1 was published for %2 version %3, not for %4 version %5")
                     .arg(path, header.binding.updateType)
                     .arg(header.binding.version)
                     .arg(type)
                     .arg(version);
        return false;
    }
    const ContentSum iniSha256 = ContentSum::fromDigest(
        ContentHasher::hash(iniContent, ContentSum::Algorithm::Sha256), ContentSum::Algorithm::Sha256);
    if (header.iniSha256 != iniSha256 || header.iniSize != iniContent.size()) {
        *error = QStringLiteral("%1 lists another product ini (size or SHA-256) than %2").arg(path, iniPath);
        return false;
    }
    if (manifest.signatures().isEmpty()) {
        *error = QStringLiteral("%1 carries no signature").arg(path);
        return false;
    }
    const QByteArray message
        = Ed25519Key::signedMessage(ReleaseManifest::signingContext(), manifest.bodySha256());
    for (const ReleaseManifest::Signature& signature : manifest.signatures()) {
        if (!Ed25519Key::fromPublic(signature.publicKey).verify(message, signature.signature)) {
            *error = QStringLiteral("%1: the signature of key %2 does not verify")
                         .arg(path, QString::fromLatin1(signature.publicKey.toHex()));
            return false;
        }
    }
    return true;
}
