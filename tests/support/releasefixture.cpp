#include "releasefixture.h"

#include "demosigner.h"
#include "filetree.h"
#include "releasepublisher.h"
#include "manifest/installationlayout.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRandomGenerator>

namespace ReleaseFixture {

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
    options.updateType = QStringLiteral("client_linux_amd64");
    options.privateKeyPath = DemoSigner::privateKeyPem();
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
    return QDir(mirrorRoot).filePath(QStringLiteral("%1/client_linux_amd64.ini").arg(version));
}

bool replaceProductIni(const QString& mirrorRoot, int version, const QByteArray& content)
{
    const QString path = productIniPath(mirrorRoot, version);
    QFile::remove(path);
    QFile::remove(path + QStringLiteral(".sig"));
    return FileTree::write(path, content) && DemoSigner::signFile(path);
}

QMap<QString, QString> contents(const QString& root, const QStringList& ignore)
{
    QMap<QString, QString> result;
    const QDir base(root);
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = base.relativeFilePath(it.next());
        if (!ignore.contains(name))
            result.insert(name, FileTree::md5Hex(FileTree::read(it.filePath())));
    }
    return result;
}

} // namespace ReleaseFixture
