#include "update/offerchoice.h"

#include <QDateTime>
#include <QJsonObject>
#include <QLocale>

namespace {

QString expiryNote(const ChannelRecord& record, qint64 now)
{
    const QString made = QLocale().toString(QDateTime::fromSecsSinceEpoch(record.made), QLocale::ShortFormat);
    const qint64 days = (now - record.made) / 86400;
    return days == 1
        ? OfferChoice::tr(
            "The release information is 1 day old (from %1) and has expired: a newer version may exist.")
              .arg(made)
        : OfferChoice::tr(
            "The release information is %1 days old (from %2) and has expired: a newer version may exist.")
              .arg(days)
              .arg(made);
}

} // namespace

OfferChoice::Offer OfferChoice::choose(const Facts& facts)
{
    Offer offer;
    const UpdateTypeDesc& asked = facts.asked;
    const bool installedHere = facts.installed.isValid() && facts.installed.updateType == asked.updateType;
    if (facts.source != Offered) {
        offer.version = asked.version;
        offer.label = asked.versionLabel;
        offer.confirmed = true;
    } else {
        const QString channel = ChannelRecord::channelName(asked.channel);
        const ChannelRecord::Channel* named = facts.record ? facts.record->channel(channel) : nullptr;
        if (facts.record && !named)
            offer.log << QStringLiteral("Channel record names no %1 channel").arg(channel);
        StagedRollout::Pick pick;
        if (named)
            pick = StagedRollout::pick(
                *named, asked.updateType, facts.rolloutId, installedHere ? facts.installed.version : 0);
        const bool current = named && !facts.record->isExpired(facts.now);
        offer.version = facts.serverVersion;
        offer.label = facts.serverLabel;
        // An expired record still raises the offer: that cannot hold a client back.
        const bool raises = named && facts.serverVersion > 0 && pick.version > facts.serverVersion;
        if (current && facts.serverVersion == 0)
            offer.log << QStringLiteral(
                "The update server did not answer; the channel record offers version %1")
                             .arg(pick.version);
        else if ((current || raises) && facts.serverVersion != pick.version)
            offer.log << QStringLiteral("Channel record offers version %1 where the update server "
                                        "offers %2; taking version %1")
                             .arg(pick.version)
                             .arg(facts.serverVersion);
        else if (named && !current && pick.version < facts.serverVersion)
            offer.log << QStringLiteral("Update server offers version %1, newer than the channel record's %2")
                             .arg(facts.serverVersion)
                             .arg(pick.version);
        if (current || raises) {
            offer.version = pick.version;
            offer.label = pick.label;
        }
        // Held back only where the record's pick is what is offered.
        if (named && pick.hold != StagedRollout::NotHeld && offer.version == pick.version) {
            offer.hold = pick.hold;
            offer.heldFrom = named->version;
            offer.share = named->share;
            offer.log << QStringLiteral("Channel record holds this installation at version %1 of the %2 "
                                        "channel instead of %3 (%4)")
                             .arg(pick.version)
                             .arg(channel)
                             .arg(named->version)
                             .arg(offer.heldBackReason());
        }
        offer.confirmed = current && pick.hold != StagedRollout::Unplaced;
        if (offer.version > 0 && !offer.confirmed) {
            if (!facts.hasKeys)
                offer.freshnessNote = tr("This updater has no release keys: nothing signed can confirm that "
                                         "version %1 is the latest.")
                                          .arg(offer.version);
            else if (current)
                offer.freshnessNote
                    = tr("This installation has not yet drawn its place in the staged rollout "
                         "of version %1; the next update tells whether it takes it.")
                          .arg(offer.heldFrom);
            else if (named)
                offer.freshnessNote = expiryNote(*facts.record, facts.now);
            else
                offer.freshnessNote
                    = tr("No signed release information confirms that version %1 is the latest.")
                          .arg(offer.version);
        }
        if (named && !current) {
            const qint64 days = (facts.now - facts.record->expires) / 86400;
            offer.log << QStringLiteral("Channel record serial %1 expired %2 ago")
                             .arg(facts.record->serial)
                             .arg(days == 1 ? QStringLiteral("1 day") : QStringLiteral("%1 days").arg(days));
        }
    }
    if (facts.source == Named || offer.version <= 0 || !installedHere
        || offer.version >= facts.installed.version)
        return offer;
    offer.log << QStringLiteral("Offered version %1 of %2 is older than the installed version %3; not "
                                "installing it (\"update %2 %1\" goes back on purpose)")
                     .arg(offer.version)
                     .arg(asked.updateType)
                     .arg(facts.installed.version);
    offer.declined = tr("The offered version %1 is older than the installed version %2, which stays: a newer "
                        "build is kept until its channel passes it, as after a switch from "
                        "Beta to Stable. To go back on purpose, run \"update %3 %1\".")
                         .arg(offer.version)
                         .arg(facts.installed.version)
                         .arg(asked.updateType);
    return offer;
}

QString OfferChoice::Offer::heldBackReason() const
{
    switch (hold) {
    case StagedRollout::NotHeld: break;
    case StagedRollout::Staged: return tr("staged rollout: %1 so far").arg(StagedRollout::percent(share));
    case StagedRollout::Halted: return tr("halted");
    case StagedRollout::Unplaced: return tr("staged rollout: place not drawn yet");
    }
    return QString();
}

QString OfferChoice::Offer::heldBackNote() const
{
    if (!isHeldBack())
        return QString();
    return tr("Version %1 is not offered to this installation yet (%2); it stays with version %3.")
        .arg(heldFrom)
        .arg(heldBackReason())
        .arg(version);
}

QJsonValue OfferChoice::Offer::heldBackJson() const
{
    if (!isHeldBack())
        return QJsonValue::Null;
    static const char* const reasons[] = { "", "rollout", "halted", "unplaced" };
    return QJsonObject { { QStringLiteral("version"), heldFrom },
        { QStringLiteral("reason"), QString::fromLatin1(reasons[hold]) },
        { QStringLiteral("share"), share / 10.0 } };
}
