#ifndef FTPSITEACCESSDATA_H
#define FTPSITEACCESSDATA_H

#include <QString>

// One HTTP mirror as the registry lends it out: where its files are, how many
// errors it may make and how busy it is.
class FTPSiteAccessData
{
public:
    QString name;
    // Base URL of the target version's files: configured URL, "/", version.
    QString url;
    // Errors tolerated; the mirror is removed when errorCount exceeds it.
    int retries = 0;
    // Engine ticks a transfer may pass without data before it is abandoned.
    int timeoutTicks = 15;
    int errorCount = 0;
    int useCount = 0;
    int maxUseCount = 1;
};

#endif
