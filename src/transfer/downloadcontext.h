#ifndef DOWNLOADCONTEXT_H
#define DOWNLOADCONTEXT_H

#include "manifest/installationlayout.h"

class Mirrors;
class QNetworkAccessManager;

// What every download of one update shares: the network manager that carries
// it, the registry that lends it a mirror, and the layout whose temporary
// directory receives it. The pointers are not owned.
struct DownloadContext
{
    QNetworkAccessManager* networkManager = nullptr;
    Mirrors* mirrors = nullptr;
    InstallationLayout layout;
};

#endif
