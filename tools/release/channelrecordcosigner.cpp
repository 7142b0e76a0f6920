#include "channelrecordcosigner.h"

#include "channelrecordmaker.h"
#include "stagedfile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>

#include <algorithm>

ChannelRecordCosigner::ChannelRecordCosigner(const QString& outputDir, const QString& updateType)
    : outputDir(outputDir)
    , type(updateType)
{ }

QString ChannelRecordCosigner::recordPath(int format) const
{
    return QDir(outputDir).filePath(ChannelRecord::fileName(type, format));
}

ChannelRecordCosigner::Result ChannelRecordCosigner::sign(const Ed25519Key& key, qint64 now)
{
    // Both formats carry the same channels for updaters with and without
    // rollouts; an older tool may have written only the first.
    bool signedOne = false;
    ChannelRecord second;
    const bool hasSecond = QFile::exists(recordPath(2));
    if (hasSecond) {
        const Result result = signFile(2, key, now);
        if (result == Result::Refused)
            return result;
        signedOne = result == Result::Signed;
        second = read;
    }
    const Result result = signFile(1, key, now);
    if (result == Result::Refused)
        return result;
    signedOne = signedOne || result == Result::Signed;
    if (hasSecond) {
        if (second.serial != read.serial)
            warningList << QStringLiteral("%1 and %2 have different serials (%3 and %4); write them anew "
                                          "with channels")
                               .arg(recordPath(2), recordPath(1))
                               .arg(second.serial)
                               .arg(read.serial);
        read = second;
    }
    return signedOne ? Result::Signed : Result::AlreadySigned;
}

ChannelRecordCosigner::Result ChannelRecordCosigner::signFile(int format, const Ed25519Key& key, qint64 now)
{
    const auto refuse = [this, format](const QString& why) {
        error = QStringLiteral("%1: %2").arg(recordPath(format), why);
        return Result::Refused;
    };
    QFile file(recordPath(format));
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    const QByteArray text = file.read(ChannelRecord::MAX_SIZE + 1);
    QByteArray body;
    QString why;
    if (!ChannelRecord::parse(text, &read, &body, &why))
        return refuse(QStringLiteral("malformed (%1)").arg(why));
    if (read.format != format)
        return refuse(QStringLiteral("not of the format its name says"));
    // One spelling: what is signed is exactly what the file says.
    if (read.text() != text)
        return refuse(QStringLiteral("not written as the release tool writes it"));
    if (read.updateType != type)
        return refuse(QStringLiteral("names update type %1").arg(read.updateType));
    if (read.isExpired(now >= 0 ? now : QDateTime::currentSecsSinceEpoch()))
        return refuse(QStringLiteral("expired; make a new record with channels"));
    if (!ChannelRecordMaker::checkChannels(outputDir, type, read.channels, &why))
        return refuse(why);
    const bool signedAlready = std::any_of(read.signatures.cbegin(), read.signatures.cend(),
        [&key](const ReleaseManifest::Signature& s) { return s.publicKey == key.publicKey(); });
    if (!signedAlready) {
        read.signatures.append({ key.publicKey(),
            key.sign(Ed25519Key::signedMessage(ChannelRecord::signingContext(format), body)) });
        if (read.signatures.size() > ReleaseManifest::MAX_SIGNATURES)
            return refuse(QStringLiteral("has as many signatures as a record may bear"));
        StagedFile staged;
        if (!staged.write(recordPath(format), read.text(), StagedFile::Readable, &error)
            || !staged.moveTo(recordPath(format), false, &error))
            return Result::Refused;
    }
    const QString shortfall = ChannelRecordMaker::shortOfThreshold(trust, body, read.signatures, format);
    if (!shortfall.isEmpty() && format == 1)
        warningList << shortfall;
    return signedAlready ? Result::AlreadySigned : Result::Signed;
}
