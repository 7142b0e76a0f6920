#ifndef PATCHMAKER_H
#define PATCHMAKER_H

#include "filepacker.h"

#include <QString>
#include <QtGlobal>

// Makes the binary patch that turns an earlier content into a new one: one
// zstd frame that declares the new content's size and is encoded with the
// earlier content as its referenced prefix, the form the updater applies.
// Both contents are mapped, never read into memory, and the frame is
// streamed to the patch file.
class PatchMaker
{
public:
    PatchMaker() = delete;

    // Strongest level that keeps a release of gigabytes within minutes:
    // the slow optimal parsers only pay where the contents are small.
    static int levelFor(qint64 newSize);
    // Writes the patch to patchPath, which must not exist yet.
    static bool make(const QString& basePath, const QString& newPath, const QString& patchPath,
        FileDigest* patch, QString* error);
};

#endif
