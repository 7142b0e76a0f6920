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
    static constexpr qint64 NoLimit = -1;

    // A file that unpacks to more than sizeLimit bytes fails.
    FileUnzipFunc(const QString& sourcePath, const QString& targetPath, qint64 sizeLimit = NoLimit);

    // Streams inPath unpacked into outPath. The data goes to a temporary
    // file beside outPath that takes the name outPath only once complete, so
    // a failure leaves no partial file; an existing outPath is never replaced.
    // Unpacking stops, and fails, as soon as it would write more than
    // sizeLimit bytes: a small packed file can unpack to any size, and its
    // sum is checked only once it is complete.
    // onProgress, if given, hears the fraction done now and then.
    static bool unzipFile(const QString& outPath, const QString& inPath, qint64 sizeLimit = NoLimit,
        const std::function<void(qreal)>& onProgress = {});

protected:
    bool run() override;

private:
    enum class Unpacked { Complete, Failed, PastLimit };

    static Unpacked unpack(const QString& outPath, const QString& inPath, qint64 sizeLimit,
        const std::function<void(qreal)>& onProgress);

    const qint64 sizeLimit;
};

#endif
