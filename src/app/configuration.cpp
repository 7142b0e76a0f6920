#include "app/configuration.h"

#include "serverquery/updatechecker.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSettings>

#include <cerrno>
#include <sys/stat.h>
#include <sys/types.h>

namespace {

const int TempDirCandidates = 1000;
const int DefaultDownloadConcurrency = 6;

} // namespace

Configuration::Configuration(QObject* parent)
    : QObject(parent)
    , queryHost(UpdateChecker::defaultHost())
    , queryPort(UpdateChecker::DefaultPort)
    , queryTimeoutMs(UpdateChecker::DefaultReceiveTimeoutMs)
{
}

bool Configuration::parseCommandLineOptions()
{
    return parseCommandLineOptions(QCoreApplication::arguments());
}

bool Configuration::parseCommandLineOptions(const QStringList& args)
{
    getUpdateChannel();
    noUserMode = 0;
    const int n = args.size();

    if (n > 1 && args.at(1) == QLatin1String("--nouser")) {
        if (n > 3) {
            if (!getClientTypeVersion(args, 2))
                return false;
            if (n > 4 && args.at(4) != QLatin1String("#"))
                updateTypeDesc.versionLabel = args.at(4);
        }
        if (n > 5)
            updateTypeDesc.news = args.at(5);
        if (!getDefaultParameters())
            return false;
        noUserMode = 1;
        return true;
    }
    if (n == 3)
        return getClientTypeVersion(args, 1);
    return getDefaultParameters();
}

void Configuration::getUpdateChannel()
{
    QSettings settings(iniFilePath(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Channel"));
    const QString alpha = settings.value(QStringLiteral("alpha")).toString();
    const bool beta = settings.value(QStringLiteral("beta"), false).toBool();
    if (!alpha.isEmpty()) {
        updateTypeDesc.channel = Alpha;
        updateTypeDesc.version = settings.value(QStringLiteral("alphaRevno"), 0).toInt();
    } else {
        updateTypeDesc.channel = beta ? Beta : Stable;
        updateTypeDesc.version = 0;
    }
    settings.endGroup();
}

bool Configuration::getClientTypeVersion(const QStringList& args, int index)
{
    const int n = args.size();
    if (index >= n) {
        emit fatalError(QStringLiteral("No client type specified"));
        return false;
    }
    updateTypeDesc.updateType = args.at(index);
    if (index + 1 >= n) {
        emit fatalError(QStringLiteral("No client version specified"));
        return false;
    }
    return getClientVersionFromString(args.at(index + 1),
                                      QCoreApplication::translate("QObject", "Invalid version nr (%1)"));
}

bool Configuration::getClientVersionFromString(const QString& text, const QString& errorFormat)
{
    // An Alpha revision from update.ini wins over any other version.
    if (updateTypeDesc.version != 0)
        return true;
    bool ok = false;
    updateTypeDesc.version = text.toInt(&ok, 10);
    if (ok)
        return true;
    emit fatalError(errorFormat.arg(text));
    return false;
}

bool Configuration::getDefaultParameters()
{
    if (updateTypeDesc.updateType.isEmpty())
        updateTypeDesc.updateType = getUpdateType();
    if (updateTypeDesc.version != 0)
        return true;

    const QPair<QString, QString> latest = getLatestClientVersion(updateTypeDesc.channel, updateTypeDesc.news);
    if (latest.first.isEmpty())
        return false;
    if (!getClientVersionFromString(
            latest.first,
            QCoreApplication::translate("QObject", "Update server returned invalid version nr (%1)")))
        return false;
    updateTypeDesc.versionLabel = latest.second;
    return true;
}

void Configuration::getProxyAndDownloadConcurrency()
{
    QSettings settings(iniFilePath(), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("update"));
    proxy = settings.value(QStringLiteral("proxy"), QString()).toString();
    downloadConcurrency = settings.value(QStringLiteral("streams"), DefaultDownloadConcurrency).toInt();
    if (downloadConcurrency < 1)
        downloadConcurrency = DefaultDownloadConcurrency;
    settings.endGroup();
}

bool Configuration::createTempDir()
{
    return createTempDir(QDir::tempPath());
}

bool Configuration::createTempDir(const QString& systemTempPath)
{
    if (systemTempPath.isEmpty()) {
        emit fatalError(QStringLiteral("Unable to get temp directory."));
        return false;
    }
    const QString base = tempDirBase(systemTempPath);
    for (int i = 0; i < TempDirCandidates; ++i) {
        const QString candidate = base + QString::number(i);
        // mkdir itself decides whether the name is free, so no other process
        // (or planted file or link) can slip in between check and creation.
        if (::mkdir(QFile::encodeName(candidate).constData(), S_IRWXU) != 0)
            continue;
        // The umask can only have narrowed the mode; make sure the owner keeps full access.
        ::chmod(QFile::encodeName(candidate).constData(), S_IRWXU);
        tempDir = candidate;
        return true;
    }
    emit fatalError(QStringLiteral("Unable to create temp directory."));
    return false;
}

QString Configuration::tempDirBase(const QString& systemTempPath)
{
    QString base = systemTempPath;
    if (!base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + QStringLiteral("voxmeadow_temp_");
}

bool Configuration::initalizeStart(const QString& dir)
{
    if (!dir.isEmpty()) {
        tempDir = dir;
        return true;
    }
    return createTempDir();
}

QPair<QString, QString> Configuration::getLatestClientVersion(UpdateChannel channel, QString& news)
{
    UpdateChecker checker(queryHost, queryPort, queryTimeoutMs);
    while (!checker.checkUpdate()) {
        if (askRetry() == QMessageBox::Abort)
            return qMakePair(QString(), QString());
    }
    news = checker.getNews();
    return checker.getClientVersionByChannel(channel);
}

QMessageBox::StandardButton Configuration::askRetry()
{
    if (retryPrompt)
        return retryPrompt();
    return QMessageBox::critical(
        nullptr, QCoreApplication::translate("QObject", "Error"),
        QCoreApplication::translate("QObject", "Failed to query latest client\nversion from update server."),
        QMessageBox::Retry | QMessageBox::Abort, QMessageBox::NoButton);
}

namespace {
QString& appRootOverride()
{
    static QString root;
    return root;
}
}

QString Configuration::getAppRootPath()
{
    const QString& root = appRootOverride();
    return root.isEmpty() ? QCoreApplication::applicationDirPath() : root;
}

void Configuration::setAppRootPath(const QString& dir)
{
    appRootOverride() = dir;
}

QString Configuration::getClientBinaryName()
{
    return QStringLiteral("vx3client_runscript.sh");
}

QString Configuration::getUpdateType()
{
    return QStringLiteral("client_linux_amd64");
}

QStringList Configuration::getSpecialFileNames()
{
    return {QStringLiteral("update"),
            QStringLiteral("libQtCore.so.4"),
            QStringLiteral("libQtGui.so.4"),
            QStringLiteral("libQtNetwork.so.4"),
            QStringLiteral("libqgif.so"),
            QStringLiteral("libqjpeg.so"),
            QStringLiteral("libqtaccessiblewidgets.so")};
}

bool Configuration::isSpecialFileName(const QString& name) const
{
    return getSpecialFileNames().contains(name, Qt::CaseSensitive);
}

const QString& Configuration::getSpecialFileRenamePrefix()
{
    static const QString prefix = QStringLiteral("_old_");
    return prefix;
}

QString Configuration::settingsDirectory() const
{
    return settingsDir.isEmpty() ? getAppRootPath() : settingsDir;
}

void Configuration::setSettingsDirectory(const QString& dir)
{
    settingsDir = dir;
}

void Configuration::setVersionQueryServer(const QString& host, quint16 port, int receiveTimeoutMs)
{
    queryHost = host;
    queryPort = port;
    queryTimeoutMs = receiveTimeoutMs;
}

void Configuration::setRetryPrompt(RetryPrompt prompt)
{
    retryPrompt = std::move(prompt);
}

QString Configuration::iniFilePath() const
{
    return QDir(settingsDirectory()).absoluteFilePath(QStringLiteral("update.ini"));
}
