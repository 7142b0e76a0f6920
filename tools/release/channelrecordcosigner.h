#ifndef CHANNELRECORDCOSIGNER_H
#define CHANNELRECORDCOSIGNER_H

#include "manifest/channelrecord.h"
#include "verify/ed25519key.h"
#include "verify/releasetrust.h"

#include <QString>
#include <QStringList>

// Adds one more key's signature to the channel record of a mirror root (both
// its formats, where the second is there), so
// that signers on separate machines reach the updaters' threshold in turn.
// The signer vouches for what the record says, so it is checked first: its
// form, its update type, that it has not expired, and that each channel is
// one the updater knows and offers a version published beside it. The
// record is then rewritten atomically with its body unchanged and the
// earlier signatures kept.
class ChannelRecordCosigner
{
public:
    enum class Result { Signed, AlreadySigned, Refused };

    ChannelRecordCosigner(const QString& outputDir, const QString& updateType);

    // The release keys that count the signatures; the built-in ones unless set.
    void setTrust(const ReleaseTrust& releaseTrust) { trust = releaseTrust; }

    // `now`: seconds since 1970 UTC, the clock's when negative.
    Result sign(const Ed25519Key& key, qint64 now = -1);
    // The second format's file (with rollouts), or the first's.
    QString recordPath(int format = 2) const;
    const ChannelRecord& record() const { return read; }
    QString errorString() const { return error; }
    QStringList warnings() const { return warningList; }

private:
    Result signFile(int format, const Ed25519Key& key, qint64 now);

    QString outputDir;
    QString type;
    ReleaseTrust trust = ReleaseTrust::builtIn();
    ChannelRecord read;
    QString error;
    QStringList warningList;
};

#endif
