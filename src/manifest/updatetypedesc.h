#ifndef UPDATETYPEDESC_H
#define UPDATETYPEDESC_H

#include <QString>

// The number doubles as the index into the update server's channel list.
enum UpdateChannel : int { Stable = 0, Beta = 1, Alpha = 2 };

// What one run installs: the client type, the version and how it is presented.
struct UpdateTypeDesc
{
    UpdateChannel channel = Stable;
    QString updateType;
    int version = 0;
    QString versionLabel;
    QString news;
};

#endif
