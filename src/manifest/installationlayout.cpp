#include "installationlayout.h"

#include "manifest/productiniline.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const QStringList& executableFiles()
{
    static const QStringList names = {
        QStringLiteral("package_inst"),
        QStringLiteral("error_report"),
        QStringLiteral("update"),
        QStringLiteral("vx3client_runscript.sh"),
        QStringLiteral("vx3client_linux_amd64"),
        QStringLiteral("vx3client_linux_x86"),
    };
    return names;
}

const QStringList& executableSuffixes()
{
    static const QStringList suffixes = { QStringLiteral("so.4"), QStringLiteral("so") };
    return suffixes;
}

// By hand: QDir takes a name that begins with ':' for a resource path and
// would not put the directory in front of it.
QString joined(const QString& dir, const QString& relative)
{
    if (dir.isEmpty())
        return relative;
    return dir.endsWith(QLatin1Char('/')) ? dir + relative : dir + QLatin1Char('/') + relative;
}

} // namespace

InstallationLayout::InstallationLayout(const QString& root, const QString& tempDir)
    : rootDir(root)
    , tempDirectory(tempDir)
{ }

InstallationLayout InstallationLayout::ofRunningProgram()
{
    return InstallationLayout(QCoreApplication::applicationDirPath(), QString());
}

QString InstallationLayout::installedPath(const QString& relative) const
{
    return joined(rootDir, relative);
}

QString InstallationLayout::downloadedPath(const QString& relative) const
{
    return joined(tempDirectory, relative);
}

QString InstallationLayout::partialPath(const QString& relative) const
{
    const QFileInfo download(downloadedPath(relative));
    return download.dir().filePath(newFilePrefix() + download.fileName());
}

QString InstallationLayout::patchDownloadName(const QString& releasePath)
{
    return ProductIniLine::reservedDirectory() + QStringLiteral("/patches/") + releasePath;
}

QString InstallationLayout::unpackedPath(const QString& key) const
{
    return downloadedPath(ProductIniLine::reservedDirectory() + QStringLiteral("/unpacked/") + key);
}

QString InstallationLayout::settingsFile() const
{
    return installedPath(settingsFileName());
}

QString InstallationLayout::mirrorsFile() const
{
    return installedPath(mirrorsFileName());
}

QString InstallationLayout::settingsFileName()
{
    return QStringLiteral("update.ini");
}

QString InstallationLayout::mirrorsFileName()
{
    return QStringLiteral("mirrors.ini");
}

QString InstallationLayout::digestCacheFileName()
{
    return QStringLiteral("update.digests");
}

QStringList InstallationLayout::updaterFileNames()
{
    return { QStringLiteral("update"), settingsFileName(), mirrorsFileName(), digestCacheFileName() };
}

QStringList InstallationLayout::stateFileNames()
{
    return { settingsFileName(), digestCacheFileName() };
}

QString InstallationLayout::logFileName()
{
    return QStringLiteral("update.log");
}

bool InstallationLayout::isUpdaterState(const QString& relativePath)
{
    const QString name = relativePath.section(QLatin1Char('/'), -1);
    // update.log and the earlier runs' update.log.N beside it.
    const bool log = name == logFileName()
        || (name.startsWith(logFileName() + QLatin1Char('.')) && !name.mid(logFileName().size() + 1).isEmpty()
            && name.mid(logFileName().size() + 1).toUInt() > 0);
    return stateFileNames().contains(relativePath) || log || name.startsWith(newFilePrefix());
}

QString InstallationLayout::oldDirName()
{
    return QStringLiteral("old");
}

QString InstallationLayout::oldCopyPrefix()
{
    return QStringLiteral("_old_");
}

QString InstallationLayout::newFilePrefix()
{
    return QStringLiteral(".voxmeadow-new-");
}

QString InstallationLayout::oldCopyName(const QString& relativePath, int number)
{
    const QString plain = QFileInfo(relativePath).fileName();
    const QString numbered = number > 1 ? QString::number(number) + QLatin1Char('_') : QString();
    return oldDirName() + QLatin1Char('/') + oldCopyPrefix() + numbered + plain;
}

QStringList InstallationLayout::specialFileNames()
{
    return { QStringLiteral("update"), QStringLiteral("libQtCore.so.4"), QStringLiteral("libQtGui.so.4"),
        QStringLiteral("libQtNetwork.so.4"), QStringLiteral("libqgif.so"), QStringLiteral("libqjpeg.so"),
        QStringLiteral("libqtaccessiblewidgets.so") };
}

bool InstallationLayout::isSpecialFileName(const QString& name)
{
    return specialFileNames().contains(name, Qt::CaseSensitive);
}

QStringList InstallationLayout::specialFileDirectories()
{
    return { QString(), oldDirName(), QStringLiteral("imageformats"), QStringLiteral("accessible") };
}

QString InstallationLayout::clientStartScriptName()
{
    return QStringLiteral("vx3client_runscript.sh");
}

QString InstallationLayout::defaultUpdateType()
{
    return QStringLiteral("client_linux_amd64");
}

bool InstallationLayout::isExecutableName(const QString& fileName)
{
    const QFileInfo info(fileName);
    return executableFiles().contains(info.fileName(), Qt::CaseSensitive)
        || executableSuffixes().contains(info.completeSuffix(), Qt::CaseSensitive);
}

int InstallationLayout::installedMode(const QString& fileName, int previousMode)
{
    int mode = isExecutableName(fileName) ? 0755 : 0644;
    if (previousMode >= 0)
        mode |= previousMode & 0111;
    return mode;
}
