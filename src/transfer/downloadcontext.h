#ifndef DOWNLOADCONTEXT_H
#define DOWNLOADCONTEXT_H

#include "manifest/installationlayout.h"

class Mirrors;
class TransferEngine;

// What every download of one update shares: the transfer engine that carries
// it, the registry that lends it a mirror, and the layout whose temporary
// directory receives it. The pointers are not owned.
struct DownloadContext
{
    TransferEngine* transfers = nullptr;
    Mirrors* mirrors = nullptr;
    InstallationLayout layout;
};

#endif
