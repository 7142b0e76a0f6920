#include "update/stagedrollout.h"

#include "manifest/contenthasher.h"

int StagedRollout::place(quint64 id, const QString& updateType, int version)
{
    ContentHasher hasher(ContentSum::Algorithm::Sha256);
    hasher.addData(
        QStringLiteral("%1\n%2\n%3").arg(id, 16, 16, QLatin1Char('0')).arg(updateType).arg(version).toUtf8());
    const QByteArray digest = hasher.result();
    quint64 head = 0;
    for (int i = 0; i < 8; ++i)
        head = (head << 8) | quint8(digest.at(i));
    return int(head % ChannelRecord::FULL_SHARE);
}

StagedRollout::Pick StagedRollout::pick(
    const ChannelRecord::Channel& channel, const QString& updateType, quint64 id, int installedVersion)
{
    const Pick newVersion { channel.version, channel.label, NotHeld };
    if (!channel.isStaged() || installedVersion >= channel.version)
        return newVersion;
    Pick previous { channel.previous, channel.previousLabel, Halted };
    if (channel.halted)
        return previous;
    if (id == 0) {
        previous.hold = Unplaced;
        return previous;
    }
    if (place(id, updateType, channel.version) < channel.share)
        return newVersion;
    previous.hold = Staged;
    return previous;
}

QString StagedRollout::percent(int share)
{
    return share % 10 == 0 ? QStringLiteral("%1 %").arg(share / 10)
                           : QStringLiteral("%1.%2 %").arg(share / 10).arg(share % 10);
}
