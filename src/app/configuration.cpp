#include "app/configuration.h"

#include "app/commandline.h"
#include "serverquery/updatechecker.h"
#include "transfer/transferengine.h"
#include "update/channelrecordfetch.h"
#include "update/installationrecord.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>

#include <future>

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
    offer = OfferChoice::Offer();
    channelRecordExpired = false;
    decidingSerial = 0;
    declinedOffer.clear();
    freshnessNote.clear();
    fullCheck = line.fullCheck;
    checkOnly = line.checkOnly;
    OfferChoice::Facts facts;
    facts.source = line.outcome == CommandLine::NeedsVersionQuery ? OfferChoice::Offered
        : line.typeDesc.channel == Alpha && !line.explicitVersion ? OfferChoice::Configured
                                                                  : OfferChoice::Named;
    facts.installed = InstallationRecord::installed(installation);
    facts.hasKeys = !trust.keys.isEmpty();
    facts.now = QDateTime::currentSecsSinceEpoch();
    if (line.outcome == CommandLine::NeedsVersionQuery) {
        if (!askForOffer(line, facts)) {
            updateTypeDesc = line.typeDesc;
            return false;
        }
    } else if (line.outcome == CommandLine::Ready) {
        facts.asked = line.typeDesc;
        offer = OfferChoice::choose(facts);
    }
    for (const QString& text : std::as_const(offer.log))
        Q_EMIT message(text);
    updateTypeDesc = line.typeDesc;
    if (line.outcome != CommandLine::Ready) {
        Q_EMIT fatalError(line.error);
        return false;
    }
    noUserMode = line.noUser ? 1 : 0;
    declinedOffer = offer.declined;
    freshnessNote = offer.freshnessNote;
    offerSource = facts.source == OfferChoice::Named ? QStringLiteral("the command line")
        : facts.source == OfferChoice::Configured    ? QStringLiteral("the alpha revision of update.ini")
        : offer.confirmed && decidingSerial > 0
        ? QStringLiteral("the channel record (serial %1)").arg(decidingSerial)
        : QStringLiteral("the update server");
    Q_EMIT offerDecided();
    return true;
}

bool Configuration::askForOffer(CommandLine& line, OfferChoice::Facts& facts)
{
    const UpdateChannel channel = line.typeDesc.channel;
    QPair<QString, QString> answer;
    QString news;
    // The record is fetched while the update server is asked, and whether or
    // not it answers.
    std::future<bool> query = std::async(std::launch::async,
        [this, channel, &answer, &news] { return versionQuery.askOnce(channel, &answer, &news); });
    ChannelRecord record;
    facts.record = fetchChannelRecord(line.typeDesc.updateType, &record) ? &record : nullptr;
    bool answered = query.get();
    if (facts.record) {
        channelRecordExpired = record.isExpired(facts.now);
        decidingSerial = record.serial;
    }
    if (facts.record)
        facts.rolloutId = InstallationRecord::rolloutId(installation, !checkOnly);
    facts.asked = line.typeDesc;
    for (;;) {
        bool valid = false;
        const int version = answered ? answer.first.toInt(&valid) : 0;
        facts.serverVersion = valid && version > 0 ? version : 0;
        facts.serverLabel = facts.serverVersion > 0 ? answer.second : QString();
        offer = OfferChoice::choose(facts);
        if (offer.version > 0 || answered)
            break;
        if (!versionQuery.askAgain())
            return false;
        answered = versionQuery.askOnce(channel, &answer, &news);
    }
    if (answered)
        line.typeDesc.news = news;
    if (offer.version > 0) {
        line.typeDesc.version = offer.version;
        line.typeDesc.versionLabel = offer.label;
        line.outcome = CommandLine::Ready;
        return true;
    }
    // A server that names no version of the channel: nothing more to say.
    if (answer.first.isEmpty())
        return false;
    line.takeOfferedVersion(answer.first,
        QCoreApplication::translate("QObject", "Update server returned invalid version nr (%1)"));
    return true;
}

bool Configuration::fetchChannelRecord(const QString& updateType, ChannelRecord* record)
{
    // Nothing could vouch for a record, or the proxy to fetch it through is
    // unusable (which ends the program before any update).
    if (trust.keys.isEmpty() || !updateSettings.problem().isEmpty())
        return false;
    TransferEngine transfers;
    updateSettings.applyTo(&transfers);
    ChannelRecordFetch fetch(&transfers, trust);
    connect(&fetch, &ChannelRecordFetch::message, this, &Configuration::message);
    const qint64 seen = InstallationRecord::channelSerial(installation, updateType);
    if (fetch.fetch(installation.mirrorsFile(), updateType, seen) != ChannelRecordFetch::Accepted)
        return false;
    *record = fetch.record();
    // A check writes nothing: an update may be running beside it.
    if (record->serial > seen && !checkOnly)
        InstallationRecord::setChannelSerial(installation, updateType, record->serial);
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
