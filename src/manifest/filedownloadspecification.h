#ifndef FILEDOWNLOADSPECIFICATION_H
#define FILEDOWNLOADSPECIFICATION_H

#include "manifest/filepatchspecification.h"
#include "manifest/contentsum.h"

#include <QString>
#include <QtGlobal>

#include <memory>

// One file to fetch from the mirrors into the temporary download directory.
// Paths are relative, with "/" as separator.
class FileDownloadSpecification
{
public:
    // Product-ini section; also the file's directory on the mirrors.
    QString section;
    // Path below the section on the mirrors and below the download directory.
    QString fileName;
    // Expected MD5 of the downloaded file.
    ContentSum md5;
    qint64 size = 0;
    // Set when the file comes as a patch; shared, since the records are
    // copied into each task and most files have none.
    std::shared_ptr<const FilePatchSpecification> patch;
};

#endif
