#include "channelrecordmaker.h"

#include "manifest/contenthasher.h"
#include "manifest/outsidetext.h"
#include "stagedfile.h"
#include "verify/releasetrust.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>

ChannelRecordMaker::ChannelRecordMaker(const Options& options, std::vector<Ed25519Key> keys)
    : options(options)
    , keys(std::move(keys))
{ }

QString ChannelRecordMaker::recordPath() const
{
    return QDir(options.outputDir).filePath(ChannelRecord::fileName(options.updateType));
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
    // The signing keys as the updater would count them, one signature enough.
    ReleaseTrust signers;
    for (const Ed25519Key& key : keys)
        signers.keys << key.publicKey();
    if (signers.reachesThreshold(
            signers.validSignatures(ChannelRecord::signingContext(), body, current->signatures)))
        return true;
    error = QStringLiteral("%1 bears no valid signature of the given keys; refusing to build on it")
                .arg(recordPath());
    return false;
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
    for (const ChannelRecord::Channel& channel : std::as_const(made.channels)) {
        const QString ini
            = QDir(options.outputDir)
                  .filePath(QStringLiteral("%1/%2.ini").arg(channel.version).arg(options.updateType));
        if (!QFile::exists(ini)) {
            error = QStringLiteral("channel %1 names version %2, but %3 is not published")
                        .arg(channel.name)
                        .arg(channel.version)
                        .arg(ini);
            return false;
        }
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
        if (!OutsideText::isPlain(channel.name) || !OutsideText::isPlain(channel.label)) {
            error
                = QStringLiteral("channel %1 with label \"%2\" cannot be written: a tab, a control character "
                                 "or a bidirectional override would reach the players' screens")
                      .arg(OutsideText::escaped(channel.name, OutsideText::EscapeBreaks),
                          OutsideText::escaped(channel.label, OutsideText::EscapeBreaks));
            return false;
        }
    }
    const QByteArray body = made.body();
    if (body.isEmpty()) {
        error = QStringLiteral("a channel name cannot be written (it must be one path component)");
        return false;
    }
    ContentHasher hasher(ContentSum::Algorithm::Sha256);
    hasher.addData(body);
    const QByteArray bodySha256 = hasher.result();
    const QByteArray message = Ed25519Key::signedMessage(ChannelRecord::signingContext(), bodySha256);
    for (const Ed25519Key& key : keys) {
        const bool signedAlready = std::any_of(made.signatures.cbegin(), made.signatures.cend(),
            [&key](const ReleaseManifest::Signature& s) { return s.publicKey == key.publicKey(); });
        if (!signedAlready)
            made.signatures.append({ key.publicKey(), key.sign(message) });
    }
    verdictList.clear();
    QStringList refusing;
    for (const TrustedKeySet& set : std::as_const(options.trustedSets)) {
        verdictList << set.judge(ChannelRecord::signingContext(), bodySha256, made.signatures,
            QStringLiteral("this channel record"));
        if (!verdictList.last().met)
            refusing << set.name;
    }
    if (options.requireTrusted && !refusing.isEmpty()) {
        error = QStringLiteral(
            "not written: updaters with the trusted set %1 would ignore it (--require-trusted)")
                    .arg(refusing.join(QStringLiteral(", ")));
        return false;
    }
    StagedFile staged;
    return staged.write(recordPath(), made.text(), StagedFile::Readable, &error)
        && staged.moveTo(recordPath(), false, &error);
}
