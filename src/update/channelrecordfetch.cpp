#include "update/channelrecordfetch.h"

#include "transfer/downloadtaskspecification.h"
#include "transfer/mirrors.h"

#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

ChannelRecordFetch::ChannelRecordFetch(TransferEngine* transfers, const ReleaseTrust& trust, QObject* parent)
    : QObject(parent)
    , transfers(transfers)
    , trust(trust)
{ }

ChannelRecordFetch::Outcome ChannelRecordFetch::fetch(
    const QString& mirrorsIni, const QString& updateType, qint64 lowestSerial)
{
    // One tick is a second of the fetch's clock, however long tests make it.
    int ticksLeft = DEADLINE_SECONDS;
    const Outcome staged = fetchFile(mirrorsIni, 2, updateType, lowestSerial, ticksLeft);
    if (staged == Accepted || ticksLeft <= 0)
        return staged;
    // A publisher whose tool writes only the first format; or a mirror that
    // spoils the newer file, which must not cost the record of the first.
    const Outcome first = fetchFile(mirrorsIni, 1, updateType, lowestSerial, ticksLeft);
    return first == Absent ? staged : first;
}

ChannelRecordFetch::Outcome ChannelRecordFetch::fetchFile(
    const QString& mirrorsIni, int format, const QString& updateType, qint64 lowestSerial, int& ticksLeft)
{
    const QString name = ChannelRecord::fileName(updateType, format);
    // Private and of a name no one can plant beforehand.
    QTemporaryDir dir;
    if (!dir.isValid()) {
        Q_EMIT message(QStringLiteral("Could not fetch the channel record: no temporary directory"));
        return Unusable;
    }
    const QString local = dir.filePath(name);
    Mirrors mirrors;
    mirrors.initRoot(mirrorsIni);
    bool answered = false;
    while (!mirrors.mirrorData().isEmpty() && ticksLeft > 0) {
        QFile::remove(local);
        DownloadTaskSpecification download(transfers, &mirrors, name, local, -1, nullptr, 1.0);
        download.setByteLimit(ChannelRecord::MAX_SIZE);
        // Each attempt within its own bound, the whole fetch within DEADLINE_SECONDS.
        download.setDeadlineFromByteLimit();
        download.setOptional();
        download.finishWhenAbsent();
        QEventLoop loop;
        QTimer ticks;
        bool timedOut = false;
        connect(&download, &TaskSpecification::finished, &loop, &QEventLoop::quit);
        connect(&download, &TaskSpecification::canceled, &loop, &QEventLoop::quit);
        connect(&ticks, &QTimer::timeout, &loop, [&] {
            quint64 done = 0;
            quint64 total = 0;
            quint64 speed = 0;
            bool downloading = false;
            download.timeTick(done, total, speed, downloading);
            if (--ticksLeft <= 0) {
                timedOut = true;
                loop.quit();
            }
        });
        ticks.start(tickMs);
        download.execute();
        if (download.state == Running)
            loop.exec();
        ticks.stop();
        if (timedOut) {
            download.userCanceled();
            Q_EMIT message(
                QStringLiteral("Channel record not fetched within %1 seconds").arg(DEADLINE_SECONDS));
            return Unusable;
        }
        if (download.state != Finished) {
            Q_EMIT message(
                QStringLiteral("Channel record could not be fetched: %1").arg(download.failureReason()));
            return Unusable;
        }
        if (!QFile::exists(local))
            break;
        answered = true;
        const QString mirror = download.getCurrentMirror().name;
        const QString why = refusal(local, updateType, lowestSerial);
        if (why.isEmpty()) {
            Q_EMIT message(QStringLiteral("Channel record %1 serial %2 from mirror %3")
                               .arg(name)
                               .arg(accepted.serial)
                               .arg(mirror));
            return Accepted;
        }
        Q_EMIT message(
            QStringLiteral("Mirror %1 served a channel record that %2; ignoring it").arg(mirror, why));
        mirrors.removeMirror(mirror);
    }
    if (!answered)
        Q_EMIT message(QStringLiteral("No mirror has a channel record %1").arg(name));
    return answered ? Unusable : Absent;
}

QString ChannelRecordFetch::refusal(const QString& path, const QString& updateType, qint64 lowestSerial)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("could not be read");
    ChannelRecord record;
    QByteArray body;
    QString error;
    if (!ChannelRecord::parse(file.read(ChannelRecord::MAX_SIZE + 1), &record, &body, &error))
        return QStringLiteral("is malformed (%1)").arg(error);
    if (record.updateType != updateType)
        return QStringLiteral("is for %1").arg(record.updateType);
    const int signers
        = trust.validSignatures(ChannelRecord::signingContext(record.format), body, record.signatures);
    if (!trust.reachesThreshold(signers))
        return QStringLiteral("has %1 valid signatures of release keys where %2 are needed")
            .arg(signers)
            .arg(trust.threshold);
    if (record.serial < lowestSerial)
        return QStringLiteral("is a replay (serial %1, below %2 seen before)")
            .arg(record.serial)
            .arg(lowestSerial);
    accepted = record;
    return QString();
}
