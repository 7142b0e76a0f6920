#ifndef FILEDIGEST_H
#define FILEDIGEST_H

#include "manifest/contentsum.h"

#include <QByteArray>

// The digest of a regular file, taken without the open file object and
// message plumbing of a file check: for the list compiler, which hashes up
// to hundreds of thousands of small installed files on several threads.
class FileDigest
{
public:
    FileDigest() = delete;

    // The raw digest of the regular file at the encoded path into `digest`;
    // false when it is not one (a link is not followed), cannot be read, or
    // does not keep the size it had when opened.
    static bool compute(const QByteArray& encodedPath, ContentSum::Algorithm algorithm, QByteArray* digest);
};

#endif
