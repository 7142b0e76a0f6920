#ifndef CHANNELRECORDMAKER_H
#define CHANNELRECORDMAKER_H

#include "manifest/channelrecord.h"
#include "trustedkeyset.h"
#include "verify/ed25519key.h"

#include <QList>
#include <QString>

#include <vector>

// Writes the signed channel record of one update type into a mirror root:
// which version each channel offers, a serial above every earlier record's,
// when it was made and when it expires. Without channels given, the current
// record's channels are carried over, which is how a publisher re-signs it
// on a timer; the current record must then bear a valid signature of one of
// the signing keys, so that a file changed by someone else is never signed.
class ChannelRecordMaker
{
public:
    struct Options
    {
        QString outputDir;
        QString updateType;
        QList<ChannelRecord::Channel> channels;
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
    QString recordPath() const;
    const ChannelRecord& record() const { return made; }
    const QList<TrustedKeySet::Verdict>& verdicts() const { return verdictList; }

private:
    bool readCurrent(ChannelRecord* current, bool* exists);

    Options options;
    std::vector<Ed25519Key> keys;
    ChannelRecord made;
    QList<TrustedKeySet::Verdict> verdictList;
    QString error;
};

#endif
