#ifndef FILEUNZIPFUNC_H
#define FILEUNZIPFUNC_H

#include "tasks/slowfileopfunc.h"

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
    static bool unzipFile(const QString& outPath, const QString& inPath);

protected:
    bool run() override;
};

#endif
