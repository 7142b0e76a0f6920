#ifndef RUNSUMMARY_H
#define RUNSUMMARY_H

#include <QtGlobal>

// What one update run found and did, for the summary at its end.
struct RunSummary
{
    // Installed files compared with the release.
    qint64 filesChecked = 0;
    // Files installed anew: their content or mode differed from the release's.
    qint64 filesChanged = 0;
    // Files fetched whole and their listed sizes, a file whose patch was
    // given up included.
    qint64 filesFetched = 0;
    qint64 bytesFetched = 0;
    // Files that came as patches, and the patches' sizes.
    qint64 filesPatched = 0;
    qint64 patchBytes = 0;
    // Files whose patch was given up for the whole file.
    qint64 patchFallbacks = 0;
    qint64 filesRemoved = 0;
    qint64 elapsedMs = 0;
};

#endif
