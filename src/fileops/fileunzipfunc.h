#ifndef FILEUNZIPFUNC_H
#define FILEUNZIPFUNC_H

#include "tasks/slowfileopfunc.h"

#include <functional>

// Unpacks a gzip file on a pool thread. A file that is not gzip-compressed
// is copied unchanged (zlib reads such files transparently).
class FileUnzipFunc : public SlowFileOpFunc
{
    Q_OBJECT
public:
    FileUnzipFunc(const QString& sourcePath, const QString& targetPath);

    // Streams inPath unpacked into outPath. The data goes to a temporary
    // file beside outPath that takes the name outPath only once complete, so
    // a failure leaves no partial file; an existing outPath is never replaced.
    // onProgress, if given, hears the fraction done now and then.
    static bool unzipFile(
        const QString& outPath, const QString& inPath, const std::function<void(qreal)>& onProgress = {});

protected:
    bool run() override;
};

#endif
