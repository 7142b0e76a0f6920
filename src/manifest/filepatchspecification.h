#ifndef FILEPATCHSPECIFICATION_H
#define FILEPATCHSPECIFICATION_H

#include "manifest/contentsum.h"
#include "manifest/filestamp.h"

#include <QString>
#include <QtGlobal>

// A listed file that is fetched as a patch against its installed content
// instead of whole. Paths are relative, with "/" as separator.
class FilePatchSpecification
{
public:
    // The patch below the release directory on the mirrors.
    QString path;
    ContentSum md5;
    qint64 size = 0;
    // The installed file the patch applies to, and its stamp when the list
    // was compiled: a file changed since then is not patched.
    QString basePath;
    FileStamp baseStamp;
    // What applying gives: the file as installed, so for a packed file its
    // unpacked content.
    ContentSum resultMd5;
    qint64 resultSize = 0;
    // Whether the result is the unpacked content of a packed file, which
    // then waits in the session's unpacked directory instead of at the
    // download name.
    bool unpacked = false;
};

#endif
