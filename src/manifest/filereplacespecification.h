#ifndef FILEREPLACESPECIFICATION_H
#define FILEREPLACESPECIFICATION_H

#include "manifest/contentsum.h"

#include <QString>
#include <QtGlobal>

// One downloaded file to install into the application directory. A record
// with an unzipFileName is a gzip file that is unpacked to that path and
// checked against unzipMd5; any other record is copied to fileName.
class FileReplaceSpecification
{
public:
    bool hasUnzip() const;
    // Installed path, relative to the application directory.
    QString pureDestFilePath() const;
    // The installed path with `prefix` put in front of its last component.
    QString destFileName(const QString& prefix) const;
    // Where the previous version is kept while the update runs, relative to
    // the application directory: always directly inside "old".
    QString oldDestFileName() const;

    QString section;
    // Name of the downloaded copy; for a plain file also the installed path.
    QString fileName;
    // The unpacked size the product ini lists: unpacking stops past it.
    qint64 unzipSize = 0;
    QString unzipFileName;
    ContentSum unzipMd5;
    // The download's sum when this run fetches the file: the download
    // list's, and what the digest cache enters for a plain file once that
    // list is gone.
    ContentSum fetchedMd5;
    // 0755 or 0644 as the release records it; -1 where the release has no
    // record and the mode follows the name and the replaced file's bits.
    int recordedMode = -1;
};

#endif
