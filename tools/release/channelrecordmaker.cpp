#include "channelrecordmaker.h"

#include "manifest/contenthasher.h"
#include "manifest/outsidetext.h"
#include "stagedfile.h"
#include "verify/releasetrust.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <limits>

ChannelRecordMaker::ChannelRecordMaker(const Options& options, std::vector<Ed25519Key> keys)
    : options(options)
    , keys(std::move(keys))
{ }

QString ChannelRecordMaker::recordPath(int format) const
{
    return QDir(options.outputDir).filePath(ChannelRecord::fileName(options.updateType, format));
}

bool ChannelRecordMaker::checkChannels(const QString& outputDir, const QString& updateType,
    const QList<ChannelRecord::Channel>& channels, QString* error)
{
    for (const ChannelRecord::Channel& channel : channels) {
        if (!ChannelRecord::isKnownChannel(channel.name)) {
            *error = QStringLiteral("unknown channel \"%1\": updaters know %2, %3 and %4")
                         .arg(channel.name, ChannelRecord::channelName(Stable),
                             ChannelRecord::channelName(Beta), ChannelRecord::channelName(Alpha));
            return false;
        }
        for (const int version : { channel.version, channel.previous }) {
            const QString ini
                = QDir(outputDir).filePath(QStringLiteral("%1/%2.ini").arg(version).arg(updateType));
            if (version > 0 && !QFile::exists(ini)) {
                *error = QStringLiteral("channel %1 names version %2, but %3 is not published")
                             .arg(channel.name)
                             .arg(version)
                             .arg(ini);
                return false;
            }
        }
    }
    return true;
}

QString ChannelRecordMaker::shortOfThreshold(const ReleaseTrust& trust, const QByteArray& bodySha256,
    const QList<ReleaseManifest::Signature>& signatures, int format)
{
    if (trust.keys.isEmpty())
        return QString();
    const int signers = trust.validSignatures(ChannelRecord::signingContext(format), bodySha256, signatures);
    if (trust.reachesThreshold(signers))
        return QString();
    return QStringLiteral("the channel record is signed by %1 of the release keys built into this tool "
                          "(VOXMEADOW_RELEASE_KEYS) where %2 are needed; updaters built with those keys "
                          "ignore it until more keys sign it (sign-channels)")
        .arg(signers)
        .arg(trust.threshold);
}

bool ChannelRecordMaker::readCurrent(int format, ChannelRecord* current, bool* exists)
{
    QFile file(recordPath(format));
    *exists = file.exists();
    if (!*exists)
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(recordPath(format), file.errorString());
        return false;
    }
    QByteArray body;
    QString why;
    if (!ChannelRecord::parse(file.read(ChannelRecord::MAX_SIZE + 1), current, &body, &why)) {
        error = QStringLiteral("%1 is malformed (%2); remove it to start anew").arg(recordPath(format), why);
        return false;
    }
    if (options.channels.isEmpty())
        return carriesOver(body, *current);
    // The channels are stated anew, so what the record says is not signed
    // again; a serial someone raised only moves the new one up.
    ReleaseTrust signers;
    for (const Ed25519Key& key : keys)
        signers.keys << key.publicKey();
    if (signers.validSignatures(ChannelRecord::signingContext(current->format), body, current->signatures)
        == 0)
        warningList << QStringLiteral("%1 bears no valid signature of the given keys; its channels are "
                                      "replaced and only its serial is built on")
                           .arg(recordPath(format));
    return true;
}

bool ChannelRecordMaker::carriesOver(const QByteArray& body, const ChannelRecord& current)
{
    // Every signing key must have signed what it signs again, so that one
    // key's holder cannot pass a record of theirs off under the others.
    ReleaseTrust signers;
    for (const Ed25519Key& key : keys) {
        if (!signers.keys.contains(key.publicKey()))
            signers.keys << key.publicKey();
    }
    signers.threshold = int(signers.keys.size());
    const int given
        = signers.validSignatures(ChannelRecord::signingContext(current.format), body, current.signatures);
    if (!signers.reachesThreshold(given)) {
        error = QStringLiteral("%1 bears valid signatures of %2 of the %3 given keys; carrying its channels "
                               "over needs all of them (or state the channels anew with --channel)")
                    .arg(recordPath(current.format))
                    .arg(given)
                    .arg(signers.threshold);
        return false;
    }
    const QString shortfall = shortOfThreshold(trust, body, current.signatures, current.format);
    if (!shortfall.isEmpty()) {
        error = QStringLiteral("%1 cannot be carried over: %2").arg(recordPath(current.format), shortfall);
        return false;
    }
    return true;
}

bool ChannelRecordMaker::applyRollouts()
{
    const auto find = [this](const QString& name, const char* option) -> ChannelRecord::Channel* {
        for (ChannelRecord::Channel& channel : made.channels) {
            if (channel.name == name)
                return &channel;
        }
        error = QStringLiteral("%1 names channel %2, which the record does not have").arg(option, name);
        return nullptr;
    };
    for (const ChannelRecord::Channel& given : std::as_const(options.previous)) {
        ChannelRecord::Channel* channel = find(given.name, "--previous");
        if (!channel)
            return false;
        if (given.version >= channel->version) {
            error = QStringLiteral("the previous version %1 of channel %2 is not below its version %3")
                        .arg(given.version)
                        .arg(given.name)
                        .arg(channel->version);
            return false;
        }
        channel->previous = given.version;
        channel->previousLabel = given.label;
    }
    const auto staged = [this](const ChannelRecord::Channel& channel, const char* option) {
        if (channel.previous > 0)
            return true;
        error = QStringLiteral("%1 %2 needs a previous version (--previous %2=VERSION)")
                    .arg(option, channel.name);
        return false;
    };
    for (const QPair<QString, int>& share : std::as_const(options.shares)) {
        ChannelRecord::Channel* channel = find(share.first, "--rollout");
        if (!channel || !staged(*channel, "--rollout"))
            return false;
        channel->share = share.second;
        channel->halted = false;
    }
    for (const QString& name : std::as_const(options.halted)) {
        ChannelRecord::Channel* channel = find(name, "--halt");
        if (!channel || !staged(*channel, "--halt"))
            return false;
        channel->halted = true;
    }
    return true;
}

ChannelRecord ChannelRecordMaker::signedWithKeys(const ChannelRecord& record) const
{
    ChannelRecord signedRecord = record;
    ContentHasher hasher(ContentSum::Algorithm::Sha256);
    hasher.addData(record.body());
    const QByteArray message
        = Ed25519Key::signedMessage(ChannelRecord::signingContext(record.format), hasher.result());
    for (const Ed25519Key& key : keys) {
        const bool signedAlready
            = std::any_of(signedRecord.signatures.cbegin(), signedRecord.signatures.cend(),
                [&key](const ReleaseManifest::Signature& s) { return s.publicKey == key.publicKey(); });
        if (!signedAlready)
            signedRecord.signatures.append({ key.publicKey(), key.sign(message) });
    }
    return signedRecord;
}

bool ChannelRecordMaker::store(const ChannelRecord& record)
{
    StagedFile staged;
    const QString path = recordPath(record.format);
    return staged.write(path, record.text(), StagedFile::Readable, &error)
        && staged.moveTo(path, false, &error);
}

bool ChannelRecordMaker::make()
{
    if (keys.empty()) {
        error = QStringLiteral("no key to sign with");
        return false;
    }
    // The newer of the two formats is built on, the second on a tie: an
    // older tool may have written only the first since.
    ChannelRecord current;
    ChannelRecord first;
    bool exists = false;
    bool firstExists = false;
    if (!readCurrent(2, &current, &exists) || !readCurrent(1, &first, &firstExists))
        return false;
    if (firstExists && (!exists || first.serial > current.serial)) {
        current = first;
        exists = true;
    }
    if (exists && current.updateType != options.updateType) {
        error = QStringLiteral("%1 names update type %2").arg(recordPath(current.format), current.updateType);
        return false;
    }
    made = ChannelRecord();
    made.format = 2;
    made.updateType = options.updateType;
    made.channels = options.channels.isEmpty() ? current.channels : options.channels;
    if (made.channels.isEmpty()) {
        error = QStringLiteral(
            "no channel given (--channel NAME=VERSION) and no record to carry them over from");
        return false;
    }
    if (!applyRollouts() || !checkChannels(options.outputDir, options.updateType, made.channels, &error))
        return false;
    if (exists && options.serial <= 0 && current.serial == std::numeric_limits<qint64>::max()) {
        error = QStringLiteral("the current record's serial cannot grow; give --serial or remove %1")
                    .arg(recordPath(current.format));
        return false;
    }
    made.serial = options.serial > 0 ? options.serial : (exists ? current.serial + 1 : 1);
    if (exists && made.serial <= current.serial) {
        error = QStringLiteral(
            "serial %1 is not above the current record's %2: updaters would take the new record for a replay")
                    .arg(made.serial)
                    .arg(current.serial);
        return false;
    }
    made.made = options.now >= 0 ? options.now : QDateTime::currentSecsSinceEpoch();
    made.expires = made.made + options.validSeconds;
    for (const ChannelRecord::Channel& channel : std::as_const(made.channels)) {
        if (!OutsideText::isPlain(channel.name) || !OutsideText::isPlain(channel.label)
            || !OutsideText::isPlain(channel.previousLabel)) {
            error
                = QStringLiteral("channel %1 with label \"%2\" cannot be written: a tab, a control character "
                                 "or a bidirectional override would reach the players' screens")
                      .arg(OutsideText::escaped(channel.name, OutsideText::EscapeBreaks),
                          OutsideText::escaped(
                              channel.label + channel.previousLabel, OutsideText::EscapeBreaks));
            return false;
        }
    }
    // For updaters without rollouts: what a channel offers every installation.
    ChannelRecord forFirst = made;
    forFirst.format = 1;
    for (ChannelRecord::Channel& channel : forFirst.channels) {
        if (channel.isStaged())
            channel = ChannelRecord::Channel(channel.name, channel.previous, channel.previousLabel);
        else
            channel = ChannelRecord::Channel(channel.name, channel.version, channel.label);
    }
    if (made.body().isEmpty() || forFirst.body().isEmpty()) {
        error = QStringLiteral("a channel name cannot be written (it must be one path component)");
        return false;
    }
    made = signedWithKeys(made);
    forFirst = signedWithKeys(forFirst);
    // Both files carry the same keys' signatures; older updaters read the first.
    ContentHasher hasher(ContentSum::Algorithm::Sha256);
    hasher.addData(forFirst.body());
    const QByteArray bodySha256 = hasher.result();
    verdictList.clear();
    QStringList refusing;
    for (const TrustedKeySet& set : std::as_const(options.trustedSets)) {
        verdictList << set.judge(ChannelRecord::signingContext(forFirst.format), bodySha256,
            forFirst.signatures, QStringLiteral("this channel record"));
        if (!verdictList.last().met)
            refusing << set.name;
    }
    if (options.requireTrusted && !refusing.isEmpty()) {
        error = QStringLiteral(
            "not written: updaters with the trusted set %1 would ignore it (--require-trusted)")
                    .arg(refusing.join(QStringLiteral(", ")));
        return false;
    }
    const QString shortfall = shortOfThreshold(trust, bodySha256, forFirst.signatures, forFirst.format);
    if (!shortfall.isEmpty())
        warningList << shortfall;
    return store(made) && store(forFirst);
}
