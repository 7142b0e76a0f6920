#include "channelrecordmaker.h"

#include "manifest/contenthasher.h"
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

QString ChannelRecordMaker::recordPath() const
{
    return QDir(options.outputDir).filePath(ChannelRecord::fileName(options.updateType));
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
        const QString ini
            = QDir(outputDir).filePath(QStringLiteral("%1/%2.ini").arg(channel.version).arg(updateType));
        if (!QFile::exists(ini)) {
            *error = QStringLiteral("channel %1 names version %2, but %3 is not published")
                         .arg(channel.name)
                         .arg(channel.version)
                         .arg(ini);
            return false;
        }
    }
    return true;
}

QString ChannelRecordMaker::shortOfThreshold(const ReleaseTrust& trust, const QByteArray& bodySha256,
    const QList<ReleaseManifest::Signature>& signatures)
{
    if (trust.keys.isEmpty())
        return QString();
    const int signers = trust.validSignatures(ChannelRecord::signingContext(), bodySha256, signatures);
    if (trust.reachesThreshold(signers))
        return QString();
    return QStringLiteral("the channel record is signed by %1 of the release keys built into this tool "
                          "(VOXMEADOW_RELEASE_KEYS) where %2 are needed; updaters built with those keys "
                          "ignore it until more keys sign it (sign-channels)")
        .arg(signers)
        .arg(trust.threshold);
}

bool ChannelRecordMaker::readCurrent(ChannelRecord* current, bool* exists)
{
    QFile file(recordPath());
    *exists = file.exists();
    if (!*exists)
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot read %1: %2").arg(recordPath(), file.errorString());
        return false;
    }
    QByteArray body;
    QString why;
    if (!ChannelRecord::parse(file.read(ChannelRecord::MAX_SIZE + 1), current, &body, &why)) {
        error = QStringLiteral("%1 is malformed (%2); remove it to start anew").arg(recordPath(), why);
        return false;
    }
    if (options.channels.isEmpty())
        return carriesOver(body, *current);
    // The channels are stated anew, so what the record says is not signed
    // again; a serial someone raised only moves the new one up.
    ReleaseTrust signers;
    for (const Ed25519Key& key : keys)
        signers.keys << key.publicKey();
    if (signers.validSignatures(ChannelRecord::signingContext(), body, current->signatures) == 0)
        warningList << QStringLiteral("%1 bears no valid signature of the given keys; its channels are "
                                      "replaced and only its serial is built on")
                           .arg(recordPath());
    return true;
}

bool ChannelRecordMaker::carriesOver(const QByteArray& bodySha256, const ChannelRecord& current)
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
        = signers.validSignatures(ChannelRecord::signingContext(), bodySha256, current.signatures);
    if (!signers.reachesThreshold(given)) {
        error = QStringLiteral("%1 bears valid signatures of %2 of the %3 given keys; carrying its channels "
                               "over needs all of them (or state the channels anew with --channel)")
                    .arg(recordPath())
                    .arg(given)
                    .arg(signers.threshold);
        return false;
    }
    const QString shortfall = shortOfThreshold(trust, bodySha256, current.signatures);
    if (!shortfall.isEmpty()) {
        error = QStringLiteral("%1 cannot be carried over: %2").arg(recordPath(), shortfall);
        return false;
    }
    return true;
}

bool ChannelRecordMaker::make()
{
    if (keys.empty()) {
        error = QStringLiteral("no key to sign with");
        return false;
    }
    ChannelRecord current;
    bool exists = false;
    // Its serial and, without channels given, its channels are built on.
    if (!readCurrent(&current, &exists))
        return false;
    if (exists && current.updateType != options.updateType) {
        error = QStringLiteral("%1 names update type %2").arg(recordPath(), current.updateType);
        return false;
    }
    made = ChannelRecord();
    made.updateType = options.updateType;
    made.channels = options.channels.isEmpty() ? current.channels : options.channels;
    if (made.channels.isEmpty()) {
        error = QStringLiteral(
            "no channel given (--channel NAME=VERSION) and no record to carry them over from");
        return false;
    }
    if (!checkChannels(options.outputDir, options.updateType, made.channels, &error))
        return false;
    if (exists && options.serial <= 0 && current.serial == std::numeric_limits<qint64>::max()) {
        error = QStringLiteral("the current record's serial cannot grow; give --serial or remove %1")
                    .arg(recordPath());
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
    const QByteArray body = made.body();
    if (body.isEmpty()) {
        error = QStringLiteral("a channel name or label cannot be written (tab or control character)");
        return false;
    }
    ContentHasher hasher(ContentSum::Algorithm::Sha256);
    hasher.addData(body);
    const QByteArray digest = hasher.result();
    const QByteArray message = Ed25519Key::signedMessage(ChannelRecord::signingContext(), digest);
    for (const Ed25519Key& key : keys) {
        const bool signedAlready = std::any_of(made.signatures.cbegin(), made.signatures.cend(),
            [&key](const ReleaseManifest::Signature& s) { return s.publicKey == key.publicKey(); });
        if (!signedAlready)
            made.signatures.append({ key.publicKey(), key.sign(message) });
    }
    const QString shortfall = shortOfThreshold(trust, digest, made.signatures);
    if (!shortfall.isEmpty())
        warningList << shortfall;
    StagedFile staged;
    return staged.write(recordPath(), made.text(), StagedFile::Readable, &error)
        && staged.moveTo(recordPath(), false, &error);
}
