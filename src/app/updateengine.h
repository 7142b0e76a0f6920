#ifndef UPDATEENGINE_H
#define UPDATEENGINE_H

#include <QString>

class UpdateEngine
{
public:
    // Deletes the "_old_" copies of the updater's own files that an earlier
    // run could not delete while it was running. Failures are ignored.
    static void removeOldFiles(const QString& dir);
};

#endif
