#ifndef UPDATESETTINGS_H
#define UPDATESETTINGS_H

#include "manifest/updatetypedesc.h"

#include <QString>

class TransferEngine;

// The user's choices in update.ini, read once: the channel (group Channel)
// and, in group update, the proxy, the number of simultaneous downloads, an
// extra certificate authority and the bandwidth cap.
class UpdateSettings
{
public:
    static constexpr int DefaultDownloadConcurrency = 6;

    // Missing or unreadable files give the defaults.
    static UpdateSettings read(const QString& iniFile);

    // Why the proxy setting cannot be used; empty when it can (or is unset).
    // Never repeats a password.
    QString proxyError() const;
    // The first setting of group update that cannot be used: the proxy, the
    // certificate file or the rate; empty when all can.
    QString problem() const;
    // The proxy as it may be shown: without its credentials.
    QString displayedProxy() const;
    // The PEM certificates of `caFile`; empty without one.
    QByteArray extraCertificates() const;
    // Sets the proxy, certificates and cap on `transfers`; only for
    // settings without a problem().
    void applyTo(TransferEngine* transfers) const;

    UpdateChannel channel = Stable;
    // The Alpha revision to install; 0 unless the Alpha channel is chosen.
    int alphaRevision = 0;
    QString proxy;
    int downloadConcurrency = DefaultDownloadConcurrency;
    // A certificate authority trusted beside the system's, resolved against
    // the installation directory; empty: none.
    QString caFile;
    // The bandwidth cap in KiB/s; 0: none, -1: not a usable number.
    qint64 maxDownloadRate = 0;
    // Another update server than the built-in one (a staging server), as
    // host[:port] for the version query; empty: the built-in one.
    QString updateServer;
    // The host and port of updateServer; false when it is unset or unusable.
    bool updateServerAddress(QString* host, quint16* port, quint16 defaultPort) const;
};

#endif
