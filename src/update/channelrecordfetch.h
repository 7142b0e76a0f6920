#ifndef CHANNELRECORDFETCH_H
#define CHANNELRECORDFETCH_H

#include "manifest/channelrecord.h"
#include "verify/releasetrust.h"

#include <QObject>
#include <QString>

class TransferEngine;

// Fetches the channel record of one update type from the roots of the
// mirrors in mirrors.ini, before a version is chosen: the record with staged
// rollouts, or the first format where no mirror has that one. Mirrors are asked in
// random order until one serves a record that the release keys vouch for,
// that names the type, and whose serial is not below one accepted before;
// a mirror that serves anything else is not asked again. The whole fetch
// has a deadline, so a silent or trickling mirror costs seconds, not the run.
class ChannelRecordFetch : public QObject
{
    Q_OBJECT

public:
    enum Outcome {
        // record() holds a record to go by.
        Accepted,
        // No mirror has one: a publisher who makes none.
        Absent,
        // Some mirror answered, but with nothing to go by.
        Unusable
    };

    static constexpr int DEADLINE_SECONDS = 30;

    ChannelRecordFetch(TransferEngine* transfers, const ReleaseTrust& trust, QObject* parent = nullptr);

    // Runs an event loop of its own until it is done. `lowestSerial`: the
    // least serial that is no replay; -1 for any.
    Outcome fetch(const QString& mirrorsIni, const QString& updateType, qint64 lowestSerial);
    const ChannelRecord& record() const { return accepted; }

    // Test hook: the length of the tick that stands for one second of the
    // deadline and of the stall rule.
    void setTickMs(int ms) { tickMs = ms; }

Q_SIGNALS:
    void message(QString message);

private:
    // The record of `format`, within the `ticksLeft` of the whole fetch.
    Outcome fetchFile(const QString& mirrorsIni, int format, const QString& updateType, qint64 lowestSerial,
        int& ticksLeft);
    // Why the record at `path` is of no use; empty when it is accepted.
    QString refusal(const QString& path, const QString& updateType, qint64 lowestSerial);

    TransferEngine* transfers;
    ReleaseTrust trust;
    ChannelRecord accepted;
    int tickMs = 1000;
};

#endif
