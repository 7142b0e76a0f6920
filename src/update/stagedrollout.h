#ifndef STAGEDROLLOUT_H
#define STAGEDROLLOUT_H

#include "manifest/channelrecord.h"

#include <QString>

// Which of a channel's two versions one installation gets while the newer
// one goes out to a share of installations. The installation's place is
// the first eight bytes of SHA-256("<id as 16 hex digits>\n<type>\n<version>")
// read big-endian, modulo 1000; it gets the new version when its place is
// below the share (per mille). The place changes with nothing the publisher
// sets but the version: a raised share keeps every installation it had,
// and each release draws anew.
class StagedRollout
{
public:
    enum Hold {
        // The channel's version.
        NotHeld,
        // The previous version: the share has not reached this installation.
        Staged,
        // The previous version: the rollout is halted.
        Halted,
        // The previous version for now: the installation has no rollout id
        // yet (a run that writes nothing), so its place is not known.
        Unplaced
    };

    struct Pick
    {
        int version = 0;
        QString label;
        Hold hold = NotHeld;
    };

    static int place(quint64 id, const QString& updateType, int version);

    // `installedVersion`: of this update type, 0 for none; an installation
    // that has the channel's version already keeps it, halted or not. `id`
    // 0: none kept.
    static Pick pick(
        const ChannelRecord::Channel& channel, const QString& updateType, quint64 id, int installedVersion);

    // "10 %", "0.5 %".
    static QString percent(int share);
};

#endif
