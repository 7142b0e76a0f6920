#ifndef CHANNELRECORDMAKER_H
#define CHANNELRECORDMAKER_H

#include "manifest/channelrecord.h"
#include "trustedkeyset.h"
#include "verify/ed25519key.h"
#include "verify/releasetrust.h"

#include <QList>
#include <QPair>
#include <QStringList>
#include <QString>
#include <QStringList>

#include <vector>

// Writes the signed channel record of one update type into a mirror root:
// which version each channel offers, a serial above every earlier record's,
// when it was made and when it expires. Without channels given, the current
// record's channels are carried over, which is how a publisher re-signs it
// on a timer; the current record must then bear a valid signature of every
// signing key and, where the tool has release keys, as many of those as
// their threshold, so that a record rewritten by a holder of fewer keys is
// never signed again. Channels given replace the current record's, whose
// signatures then go unchecked: only its serial is built on.
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

    // The release keys that count a record's signatures; the built-in ones unless set.
    void setTrust(const ReleaseTrust& releaseTrust) { trust = releaseTrust; }

    bool make();
    QString errorString() const { return error; }
    QStringList warnings() const { return warningList; }
    QString recordPath(int format = 2) const;
    // The record of the second format, as written.
    const ChannelRecord& record() const { return made; }
    const QList<TrustedKeySet::Verdict>& verdicts() const { return verdictList; }

    // Whether each channel is one the updater knows and offers versions
    // (and a previous one, where staged) published in `outputDir`.
    static bool checkChannels(const QString& outputDir, const QString& updateType,
        const QList<ChannelRecord::Channel>& channels, QString* error);
    // A warning when `trust` has keys and fewer than its threshold signed
    // the record whose body has the digest `bodySha256`; empty otherwise.
    static QString shortOfThreshold(const ReleaseTrust& trust, const QByteArray& bodySha256,
        const QList<ReleaseManifest::Signature>& signatures, int format);

private:
    bool readCurrent(int format, ChannelRecord* current, bool* exists);
    bool carriesOver(const QByteArray& body, const ChannelRecord& current);
    bool applyRollouts();
    // `record` with the signatures of every key it lacks.
    ChannelRecord signedWithKeys(const ChannelRecord& record) const;
    bool store(const ChannelRecord& record);

    Options options;
    std::vector<Ed25519Key> keys;
    ReleaseTrust trust = ReleaseTrust::builtIn();
    ChannelRecord made;
    QList<TrustedKeySet::Verdict> verdictList;
    QString error;
    QStringList warningList;
};

#endif
