#include "releasefixture.h"

#include "demosigner.h"
#include "manifest/releasemarker.h"
#include "filetree.h"
#include "manifest/contenthasher.h"
#include "manifest/installationlayout.h"
#include "manifestmaker.h"
#include "releasepublisher.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>

namespace ReleaseFixture {

namespace {

const QString UpdateType = QStringLiteral("client_linux_amd64");

} // namespace

bool writeTree(const QString& root, const Tree& tree)
{
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        const QString path = QDir(root).filePath(it.key());
        if (!FileTree::write(path, it.value()))
            return false;
        // As a vendor's tree has them: programs and libraries executable.
        if (InstallationLayout::isExecutableName(it.key())
            && !QFile::setPermissions(path, QFile::Permissions(0x7755)))
            return false;
    }
    return true;
}

QByteArray bytes(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray data(size, Qt::Uninitialized);
    for (char& byte : data)
        byte = char(generator.bounded(256));
    return data;
}

bool publish(const QString& source, const QString& mirrorRoot, int version, const QStringList& pack,
    const QString& previousIni, QString* error, const QStringList& patchFrom)
{
    ReleasePublisher::Options options;
    options.sourceDir = source;
    options.outputDir = mirrorRoot;
    options.version = version;
    options.updateType = UpdateType;
    options.privateKeyPath = DemoSigner::privateKeyPem();
    options.manifestKeyPaths = DemoSigner::ed25519KeyPems();
    options.sectionRules << ReleasePublisher::SectionRule { QStringLiteral("lib/*"), QStringLiteral("libs") };
    options.packPatterns = pack;
    options.previousIni = previousIni;
    options.patchFrom = patchFrom;
    ReleasePublisher publisher(options);
    const bool ok = publisher.publish();
    if (error)
        *error = publisher.errorString();
    return ok;
}

QString productIniPath(const QString& mirrorRoot, int version)
{
    return QDir(mirrorRoot).filePath(QStringLiteral("%1/%2.ini").arg(version).arg(UpdateType));
}

bool replaceProductIni(const QString& mirrorRoot, int version, const QByteArray& content)
{
    const QString path = productIniPath(mirrorRoot, version);
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".sig"));
    // Bound to its release, as every release the release tool makes is.
    QByteArray bound = content;
    if (!content.contains(ProductIniLine::reservedDirectory().toUtf8()))
        bound += "\n[delete]\n" + ProductIniLine::bindingKey({ UpdateType, version }).toUtf8() + "=\n";
    return FileTree::write(path, bound) && DemoSigner::signFile(path) && rewriteManifest(mirrorRoot, version);
}

bool editManifest(const QString& mirrorRoot, int version, const QString& updateType, const ManifestEdit& edit,
    const QList<int>& signers)
{
    const QString path
        = QDir(mirrorRoot)
              .filePath(QString::number(version) + QLatin1Char('/') + ReleaseManifest::fileName(updateType));
    ReleaseManifest::Reader published(path);
    if (!published.open())
        return false;
    ReleaseManifest::Header header = published.header();
    QList<ReleaseManifest::File> files;
    for (ReleaseManifest::File file; published.nextFile(&file);)
        files << file;
    if (published.failed())
        return false;
    edit(&header, &files);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    ReleaseManifest::Writer writer(&out, header);
    for (const ReleaseManifest::File& file : std::as_const(files))
        writer.addFile(file);
    const QByteArray message = Ed25519Key::signedMessage(ReleaseManifest::signingContext(), writer.finish());
    QString error;
    for (const int signer : signers) {
        // 0: a key of the moment, which no updater has built in.
        const Ed25519Key key = signer == 0
            ? Ed25519Key::generate()
            : Ed25519Key::readPrivatePem(DemoSigner::ed25519KeyPem(signer), &error);
        writer.writeSignature({ key.publicKey(), key.sign(message) });
    }
    return writer.ok() && out.commit();
}

bool rewriteManifest(const QString& mirrorRoot, int version, QString* error)
{
    const QString release = QDir(mirrorRoot).filePath(QString::number(version));
    std::vector<Ed25519Key> keys;
    QString ignored;
    for (const QString& path : DemoSigner::ed25519KeyPems())
        keys.push_back(Ed25519Key::readPrivatePem(path, error ? error : &ignored));
    const ContentSum none = ContentSum::fromDigest(
        ContentHasher::hash(QByteArrayView(), ContentSum::Algorithm::Sha256), ContentSum::Algorithm::Sha256);
    const auto sums = [&](const ProductIniEntry& entry, ReleaseManifest::File* file, QString*) {
        QString missing;
        if (ManifestMaker::publishedSums(release, entry, file, &missing))
            return true;
        if (!file->sha256.isDigest()) {
            file->sha256 = none;
            file->size = entry.download.size;
        }
        if (entry.replace.hasUnzip() && !file->unpackedSha256.isDigest()) {
            file->unpackedSha256 = none;
            file->unpackedSize = entry.replace.unzipSize;
        }
        return true;
    };
    return ManifestMaker::write(
        release, ProductIniLine::Binding { UpdateType, version }, keys, sums, error ? error : &ignored);
}

QMap<QString, QString> contents(const QString& root, const QStringList& ignore)
{
    QMap<QString, QString> result;
    const QDir base(root);
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = base.relativeFilePath(it.next());
        if (!ignore.contains(name) && name != ReleaseMarker::fileName())
            result.insert(name, FileTree::md5Hex(FileTree::read(it.filePath())));
    }
    return result;
}

} // namespace ReleaseFixture
