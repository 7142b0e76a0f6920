#ifndef INSTALLATIONRECORD_H
#define INSTALLATIONRECORD_H

#include "manifest/installationlayout.h"

#include <QString>

// What the installation holds, as the last successful run left it (group
// "installed" of update.ini): the update type, the version, and when its
// release manifest says the release was published. Beside it, per update
// type, the highest serial of a channel record ever accepted (group
// "channel-serials"), so that an older record is known for a replay, and
// the installation's rollout id (group "rollout"). Updaters that do not know
// these groups leave them alone.
class InstallationRecord
{
public:
    QString updateType;
    int version = 0;
    // Seconds since 1970 UTC; -1: unknown (a release without a manifest).
    qint64 published = -1;

    bool isValid() const { return !updateType.isEmpty() && version > 0; }

    // An invalid record when none is kept or it cannot be read.
    static InstallationRecord read(const InstallationLayout& layout);
    static bool write(const InstallationLayout& layout, const InstallationRecord& record);
    // The record, or where update.ini keeps none (a first run, an
    // installation copied by hand) the release marker among the installed
    // files (ReleaseMarker), with no publication time. The marker is read
    // unchecked: an earlier verified run installed it, and it only raises
    // the floor below which offered versions are declined, so the most a
    // forged one does is block going back without naming the version.
    static InstallationRecord installed(const InstallationLayout& layout);

    // -1 when no record of the type was accepted yet.
    static qint64 channelSerial(const InstallationLayout& layout, const QString& updateType);
    static bool setChannelSerial(const InstallationLayout& layout, const QString& updateType, qint64 serial);

    // A random 64-bit number, 16 hex digits, that places the installation in
    // staged rollouts; made once and never sent anywhere. 0 when none is kept
    // and `create` is false, or when a new one could not be kept.
    static quint64 rolloutId(const InstallationLayout& layout, bool create);
};

#endif
