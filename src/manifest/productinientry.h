#ifndef PRODUCTINIENTRY_H
#define PRODUCTINIENTRY_H

#include "manifest/filedownloadspecification.h"
#include "manifest/filereplacespecification.h"

// One file line of a product ini: the file as published (what the mirrors
// serve) and how it is installed. A packed file has a replace record with an
// unzipFileName; a plain one has only the download fields.
struct ProductIniEntry
{
    FileDownloadSpecification download;
    FileReplaceSpecification replace;

    QString installedPath() const { return replace.pureDestFilePath(); }
};

#endif
