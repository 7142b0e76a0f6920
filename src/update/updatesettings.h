#ifndef UPDATESETTINGS_H
#define UPDATESETTINGS_H

#include "manifest/updatetypedesc.h"

#include <QString>

// The user's choices in update.ini, read once: the channel (group Channel)
// and the proxy and number of simultaneous downloads (group update).
class UpdateSettings
{
public:
    static constexpr int DefaultDownloadConcurrency = 6;

    // Missing or unreadable files give the defaults.
    static UpdateSettings read(const QString& iniFile);

    UpdateChannel channel = Stable;
    // The Alpha revision to install; 0 unless the Alpha channel is chosen.
    int alphaRevision = 0;
    QString proxy;
    int downloadConcurrency = DefaultDownloadConcurrency;
};

#endif
