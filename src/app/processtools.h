#ifndef PROCESSTOOLS_H
#define PROCESSTOOLS_H

#include <QString>

class ProcessTools
{
public:
    // Starts the client's start script from the updater's own directory and
    // does not wait for it.
    static void startVx3Client();
    static void startVx3Client(const QString& installationDir);
};

#endif
