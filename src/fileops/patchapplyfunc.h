#ifndef PATCHAPPLYFUNC_H
#define PATCHAPPLYFUNC_H

#include "manifest/filepatchspecification.h"
#include "tasks/asyncfunc.h"

// Applies a downloaded patch (one zstd frame made with the earlier content
// as its prefix) to the installed file on a pool thread. The installed file
// and the patch are mapped, not read into memory, and the result is written
// straight into a new file of the listed size beside resultPath, which takes
// that name only when its MD5 sum is the listed one. Reports why it failed
// through message(); the installed file is never touched.
class PatchApplyFunc : public ASyncFunc
{
    Q_OBJECT

public:
    PatchApplyFunc(const FilePatchSpecification& patch, const QString& basePath, const QString& patchPath,
        const QString& resultPath);

    // Whether contents of these sizes lie within the window the decoder
    // can reach on this machine; larger files are fetched whole.
    static bool canApply(qint64 baseSize, qint64 resultSize);
    // The name the result has while it is written.
    static QString workingPath(const QString& resultPath);

    bool run() override;

private:
    bool fail(const QString& reason);

    FilePatchSpecification patch;
    QString basePath;
    QString patchPath;
    QString resultPath;
};

#endif
