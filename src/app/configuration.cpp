#include "app/configuration.h"

#include "app/commandline.h"
#include "serverquery/updatechecker.h"
#include "transfer/transferengine.h"
#include "update/channelrecordfetch.h"
#include "update/installationrecord.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QLocale>

namespace {

QString channelKey(UpdateChannel channel)
{
    switch (channel) {
    case Stable: return QStringLiteral("stable");
    case Beta: return QStringLiteral("beta");
    case Alpha: break;
    }
    return QStringLiteral("alpha");
}

} // namespace

Configuration::Configuration(QObject* parent)
    : Configuration(InstallationLayout::ofRunningProgram(), parent)
{ }

Configuration::Configuration(const InstallationLayout& installation, QObject* parent)
    : QObject(parent)
    , installation(installation)
    , updateSettings(UpdateSettings::read(installation.settingsFile()))
{
    useConfiguredServer();
}

void Configuration::useConfiguredServer()
{
    QString host;
    quint16 port = 0;
    if (!updateSettings.updateServerAddress(&host, &port, UpdateChecker::DefaultPort))
        return;
    versionQuery.setServer(host, port, UpdateChecker::DefaultReceiveTimeoutMs);
    // Said once the window listens.
    QMetaObject::invokeMethod(
        this,
        [this, host, port] {
            Q_EMIT message(QStringLiteral("Update server from update.ini: %1:%2").arg(host).arg(port));
        },
        Qt::QueuedConnection);
}

bool Configuration::parseCommandLineOptions()
{
    return parseCommandLineOptions(QCoreApplication::arguments());
}

bool Configuration::parseCommandLineOptions(const QStringList& args)
{
    CommandLine line = CommandLine::parse(args, updateSettings);
    noUserMode = 0;
    declinedOffer.clear();
    freshnessNote.clear();
    fullCheck = line.fullCheck;
    checkOnly = line.checkOnly;
    // Asked for by name: obeyed, older or not.
    const bool offered = line.outcome == CommandLine::NeedsVersionQuery
        || (line.typeDesc.channel == Alpha && !line.explicitVersion);
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
            takeChannelRecord(line.typeDesc);
        }
    }
    updateTypeDesc = line.typeDesc;
    if (line.outcome != CommandLine::Ready) {
        Q_EMIT fatalError(line.error);
        return false;
    }
    noUserMode = line.noUser ? 1 : 0;
    if (offered)
        declineDowngrade(updateTypeDesc);
    return true;
}

void Configuration::takeChannelRecord(UpdateTypeDesc& offer)
{
    // Nothing could vouch for a record, or the proxy to fetch it through is
    // unusable (which ends the program before any update).
    if (trust.keys.isEmpty() || !updateSettings.problem().isEmpty())
        return;
    TransferEngine transfers;
    updateSettings.applyTo(&transfers);
    ChannelRecordFetch fetch(&transfers, trust);
    connect(&fetch, &ChannelRecordFetch::message, this, &Configuration::message);
    const qint64 seen = InstallationRecord::channelSerial(installation, offer.updateType);
    const QString unconfirmed = tr("No signed release information confirms that version %1 is the latest.");
    if (fetch.fetch(installation.mirrorsFile(), offer.updateType, seen) != ChannelRecordFetch::Accepted) {
        freshnessNote = unconfirmed.arg(offer.version);
        return;
    }
    const ChannelRecord& record = fetch.record();
    // A check writes nothing: an update may be running beside it.
    if (record.serial > seen && !checkOnly)
        InstallationRecord::setChannelSerial(installation, offer.updateType, record.serial);
    const ChannelRecord::Channel* channel = record.channel(channelKey(offer.channel));
    if (!channel) {
        Q_EMIT message(QStringLiteral("Channel record names no %1 channel").arg(channelKey(offer.channel)));
        freshnessNote = unconfirmed.arg(offer.version);
        return;
    }
    if (channel->version > offer.version) {
        Q_EMIT message(QStringLiteral("Channel record offers version %1 where the update server offers %2; "
                                      "taking version %1")
                           .arg(channel->version)
                           .arg(offer.version));
        offer.version = channel->version;
        offer.versionLabel = channel->label;
    } else if (channel->version < offer.version) {
        Q_EMIT message(QStringLiteral("Update server offers version %1, newer than the channel record's %2")
                           .arg(offer.version)
                           .arg(channel->version));
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    if (record.isExpired(now)) {
        const QString made
            = QLocale().toString(QDateTime::fromSecsSinceEpoch(record.made), QLocale::ShortFormat);
        Q_EMIT message(QStringLiteral("Channel record serial %1 expired %2 days ago")
                           .arg(record.serial)
                           .arg((now - record.expires) / 86400));
        const qint64 days = (now - record.made) / 86400;
        freshnessNote = days == 1
            ? tr("The release information is 1 day old (from %1) and has expired: a newer version may exist.")
                  .arg(made)
            : tr("The release information is %1 days old (from %2) and has expired: a newer version may "
                 "exist.")
                  .arg(days)
                  .arg(made);
    }
}

void Configuration::declineDowngrade(const UpdateTypeDesc& offer)
{
    const InstallationRecord installed = InstallationRecord::installed(installation);
    if (!installed.isValid() || installed.updateType != offer.updateType
        || offer.version >= installed.version)
        return;
    Q_EMIT message(QStringLiteral("Offered version %1 of %2 is older than the installed version %3; not "
                                  "installing it (\"update %2 %1\" goes back on purpose)")
                       .arg(offer.version)
                       .arg(offer.updateType)
                       .arg(installed.version));
    declinedOffer = tr("The offered version %1 is older than the installed version %2, which stays: a newer "
                       "build is kept until its channel passes it, as after a switch from "
                       "Beta to Stable. To go back on purpose, run \"update %3 %1\".")
                        .arg(offer.version)
                        .arg(installed.version)
                        .arg(offer.updateType);
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
    useConfiguredServer();
}

void Configuration::setVersionQueryServer(const QString& host, quint16 port, int receiveTimeoutMs)
{
    versionQuery.setServer(host, port, receiveTimeoutMs);
}

void Configuration::setRetryPrompt(RetryPrompt prompt)
{
    versionQuery.setRetryPrompt(std::move(prompt));
}
