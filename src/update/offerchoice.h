#ifndef OFFERCHOICE_H
#define OFFERCHOICE_H

#include "manifest/channelrecord.h"
#include "manifest/updatetypedesc.h"
#include "update/installationrecord.h"
#include "update/stagedrollout.h"

#include <QCoreApplication>
#include <QJsonValue>
#include <QString>
#include <QStringList>

// The one rule for which version a run installs, from what it was told:
// the update server's unsigned answer, the signed channel record, the
// installation record and the command line.
//
// - A version named on the command line is obeyed, older or not.
// - A current channel record (vouched for by the release keys, not a replay,
//   not expired) that names the channel decides: the server's answer is
//   logged when it differs and never installed; a staged rollout in the
//   record chooses between its two versions; a silent server costs nothing.
// - Without one, the server's answer is taken, raised to what an expired
//   record offers, and nothing confirms it.
// - Whatever did not come from the command line is declined when it is older
//   than the installed version (the installation floor).
class OfferChoice
{
    Q_DECLARE_TR_FUNCTIONS(OfferChoice)

public:
    enum Source {
        // TYPE VERSION on the command line.
        Named,
        // The Alpha revision of update.ini: the player's own setting.
        Configured,
        // The channel's version, from the update server and the channel record.
        Offered
    };

    struct Facts
    {
        Source source = Offered;
        // The type and channel; the version when named or configured.
        UpdateTypeDesc asked;
        // The update server's answer for the channel; 0 when it did not answer.
        int serverVersion = 0;
        QString serverLabel;
        // A record the release keys vouch for that is no replay; null when none.
        const ChannelRecord* record = nullptr;
        // Whether the updater has release keys at all.
        bool hasKeys = true;
        InstallationRecord installed;
        // 0: the installation keeps none.
        quint64 rolloutId = 0;
        qint64 now = 0;
    };

    struct Offer
    {
        // 0: nothing to go by (the server silent and no current record).
        int version = 0;
        QString label;
        // A current signed record names the version for this installation,
        // or the person chose it; only then may "up to date" be said.
        bool confirmed = false;
        // Why the version is not confirmed, for the player; empty when it is.
        QString freshnessNote;
        // Why the version is not installed (it is older than the installed
        // one); empty when it is to be installed.
        QString declined;
        // Held back from the channel's version `heldFrom` by a staged rollout.
        StagedRollout::Hold hold = StagedRollout::NotHeld;
        int heldFrom = 0;
        int share = 0;
        // Lines for the log, untranslated.
        QStringList log;

        bool isHeldBack() const { return hold != StagedRollout::NotHeld; }
        // "staged rollout: 10 % so far", "halted", ...; empty when not held back.
        QString heldBackReason() const;
        // A sentence for the player; empty when not held back.
        QString heldBackNote() const;
        // {"version", "reason", "share"} (share in per cent); null when not held back.
        QJsonValue heldBackJson() const;
    };

    static Offer choose(const Facts& facts);
};

#endif
