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

QString ChannelRecordCosigner::recordPath() const
{
    return QDir(outputDir).filePath(ChannelRecord::fileName(type));
}

ChannelRecordCosigner::Result ChannelRecordCosigner::sign(const Ed25519Key& key, qint64 now)
{
    const auto refuse = [this](const QString& why) {
        error = QStringLiteral("%1: %2").arg(recordPath(), why);
        return Result::Refused;
    };
    QFile file(recordPath());
    if (!file.open(QIODevice::ReadOnly))
        return refuse(file.errorString());
    const QByteArray text = file.read(ChannelRecord::MAX_SIZE + 1);
    QByteArray body;
    QString why;
    if (!ChannelRecord::parse(text, &read, &body, &why))
        return refuse(QStringLiteral("malformed (%1)").arg(why));
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
        read.signatures.append(
            { key.publicKey(), key.sign(Ed25519Key::signedMessage(ChannelRecord::signingContext(), body)) });
        if (read.signatures.size() > ReleaseManifest::MAX_SIGNATURES)
            return refuse(QStringLiteral("has as many signatures as a record may bear"));
        StagedFile staged;
        if (!staged.write(recordPath(), read.text(), StagedFile::Readable, &error)
            || !staged.moveTo(recordPath(), false, &error))
            return Result::Refused;
    }
    const QString shortfall = ChannelRecordMaker::shortOfThreshold(trust, body, read.signatures);
    if (!shortfall.isEmpty())
        warningList << shortfall;
    return signedAlready ? Result::AlreadySigned : Result::Signed;
}
