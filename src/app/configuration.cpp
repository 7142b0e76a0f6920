#include "app/configuration.h"

#include "app/commandline.h"

#include <QCoreApplication>
#include <QDir>

Configuration::Configuration(QObject* parent)
    : Configuration(InstallationLayout::ofRunningProgram(), parent)
{ }

Configuration::Configuration(const InstallationLayout& installation, QObject* parent)
    : QObject(parent)
    , installation(installation)
    , updateSettings(UpdateSettings::read(installation.settingsFile()))
{ }

bool Configuration::parseCommandLineOptions()
{
    return parseCommandLineOptions(QCoreApplication::arguments());
}

bool Configuration::parseCommandLineOptions(const QStringList& args)
{
    CommandLine line = CommandLine::parse(args, updateSettings);
    noUserMode = 0;
    if (line.outcome == CommandLine::NeedsVersionQuery) {
        const QPair<QString, QString> latest
            = getLatestClientVersion(line.typeDesc.channel, line.typeDesc.news);
        if (latest.first.isEmpty()) {
            // The person gave up; that needs no further message.
            updateTypeDesc = line.typeDesc;
            return false;
        }
        if (line.takeOfferedVersion(latest.first,
                QCoreApplication::translate("QObject", "Update server returned invalid version nr (%1)"))) {
            line.typeDesc.versionLabel = latest.second;
            line.outcome = CommandLine::Ready;
        }
    }
    updateTypeDesc = line.typeDesc;
    if (line.outcome != CommandLine::Ready) {
        Q_EMIT fatalError(line.error);
        return false;
    }
    noUserMode = line.noUser ? 1 : 0;
    return true;
}

QPair<QString, QString> Configuration::getLatestClientVersion(UpdateChannel channel, QString& news)
{
    return versionQuery.latestVersion(channel, news);
}

QString Configuration::settingsDirectory() const
{
    return settingsDir.isEmpty() ? installation.root() : settingsDir;
}

void Configuration::setSettingsDirectory(const QString& dir)
{
    settingsDir = dir;
    updateSettings = UpdateSettings::read(
        QDir(settingsDirectory()).absoluteFilePath(InstallationLayout::settingsFileName()));
}

void Configuration::setVersionQueryServer(const QString& host, quint16 port, int receiveTimeoutMs)
{
    versionQuery.setServer(host, port, receiveTimeoutMs);
}

void Configuration::setRetryPrompt(RetryPrompt prompt)
{
    versionQuery.setRetryPrompt(std::move(prompt));
}
