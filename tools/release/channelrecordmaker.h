#ifndef CHANNELRECORDMAKER_H
#define CHANNELRECORDMAKER_H

#include "manifest/channelrecord.h"
#include "trustedkeyset.h"
#include "verify/ed25519key.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <QString>

#include <vector>

// Writes the signed channel record of one update type into a mirror root:
// which version each channel offers, a serial above every earlier record's,
// when it was made and when it expires. Without channels given, the current
// record's channels are carried over, which is how a publisher re-signs it
// on a timer; the current record must then bear a valid signature of one of
// the signing keys, so that a file changed by someone else is never signed.
//
// Both formats are written, with the same serial: the second with each
// channel's staged rollout, and the first for updaters that know no
// rollout, where a channel whose rollout is not complete offers its
// previous version.
class ChannelRecordMaker
{
public:
    struct Options
    {
        QString outputDir;
        QString updateType;
        QList<ChannelRecord::Channel> channels;
        // Staged rollouts, applied to the channels given or carried over:
        // a channel's previous version (name, version, label), its share
        // per mille (a share lifts a halt), and the channels to halt.
        QList<ChannelRecord::Channel> previous;
        QList<QPair<QString, int>> shares;
        QStringList halted;
        qint64 validSeconds = 7 * 24 * 3600;
        // 0: one above the current record's.
        qint64 serial = 0;
        // Seconds since 1970 UTC; the clock's unless set.
        qint64 now = -1;
        // The key sets whose updaters read the record; with requireTrusted a
        // record that one of them would ignore is not written.
        QList<TrustedKeySet> trustedSets;
        bool requireTrusted = false;
    };

    ChannelRecordMaker(const Options& options, std::vector<Ed25519Key> keys);

    bool make();
    QString errorString() const { return error; }
    QString recordPath(int format = 2) const;
    // The record of the second format, as written.
    const ChannelRecord& record() const { return made; }
    const QList<TrustedKeySet::Verdict>& verdicts() const { return verdictList; }

private:
    bool readCurrent(int format, ChannelRecord* current, bool* exists);
    bool applyRollouts();
    // `record` with the signatures of every key it lacks.
    ChannelRecord signedWithKeys(const ChannelRecord& record) const;
    bool store(const ChannelRecord& record);

    Options options;
    std::vector<Ed25519Key> keys;
    ChannelRecord made;
    QList<TrustedKeySet::Verdict> verdictList;
    QString error;
};

#endif
