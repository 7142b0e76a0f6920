#ifndef CHANNELRECORD_H
#define CHANNELRECORD_H

#include "manifest/releasemanifest.h"
#include "manifest/updatetypedesc.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The channel record, published as "<type>.channels" in the mirror root,
// outside every release directory: which version each channel offers, signed
// by the release keys and re-signed by the publisher on a timer, so that an
// updater can tell how fresh what it is told is. UTF-8 text, one record a
// line, fields separated by tabs, in exactly this order:
//
//   voxmeadow-channels 1
//   type <type>
//   serial <number>                 grows with every record made
//   made <seconds since 1970 UTC>
//   expires <seconds since 1970 UTC>
//   channel <name> <version> <label>   one per channel; the label may be empty
//   end <number of channel lines>
//   signature <public key> <signature>  as in release manifests
//
// Signatures cover Ed25519Key::signedMessage(signingContext(format), SHA-256
// of the body, up to and including the end line).
//
// Format 2, "<type>.channels2" beside the first, adds a staged rollout to
// each channel; its first line is "voxmeadow-channels 2" and a channel line
// has four more fields (updaters that read only format 1 refuse any field
// more, so the record of format 1 stays beside it for them):
//
//   channel <name> <version> <label> <previous> <previous label> <share> <halted>
//
// <previous> is the version that installations not yet given <version>
// get, 0 for none; <share> the installations given <version>, per mille
// (1000 without a previous version); <halted> 1 when only installations
// that have <version> already keep it, else 0.
class ChannelRecord
{
public:
    static constexpr qint64 MAX_SIZE = 64 * 1024;
    static constexpr int MAX_CHANNELS = 16;
    static constexpr int FULL_SHARE = 1000;

    static QString fileName(const QString& updateType, int format = 1);
    static QByteArray signingContext(int format = 1);
    // The name of a channel the updater asks for: "stable", "beta", "alpha".
    // The reader takes other names too, so that a record naming a channel of
    // later updaters still serves these; the release tool writes no other.
    static QString channelName(UpdateChannel channel);
    static bool isKnownChannel(const QString& name);

    struct Channel
    {
        // Written as { name, version, label } where no rollout is meant.
        Channel(const QString& name = QString(), int version = 0, const QString& label = QString())
            : name(name)
            , version(version)
            , label(label)
        { }

        QString name;
        int version = 0;
        QString label;
        // Format 2 only: the staged rollout.
        int previous = 0;
        QString previousLabel;
        int share = FULL_SHARE;
        bool halted = false;

        bool isStaged() const { return previous > 0 && (share < FULL_SHARE || halted); }
    };

    // 1 or 2; what body() writes and which signing context applies.
    int format = 1;
    QString updateType;
    qint64 serial = 0;
    qint64 made = 0;
    qint64 expires = 0;
    QList<Channel> channels;
    QList<ReleaseManifest::Signature> signatures;

    // The channel of this name; null when the record names none.
    const Channel* channel(const QString& name) const;
    bool isExpired(qint64 now) const { return now >= expires; }

    // The body as it is signed; empty when a field could not be read back
    // (a name with a tab, a version below 1, an expiry before the making).
    QByteArray body() const;
    // The body followed by the signature lines.
    QByteArray text() const;

    // Reads `text` strictly; false with `error` set for anything out of its
    // place or form. `bodySha256` receives the digest the signatures cover.
    static bool parse(const QByteArray& text, ChannelRecord* record, QByteArray* bodySha256, QString* error);
};

#endif
