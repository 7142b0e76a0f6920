#ifndef FILESPECIFICATIONS_H
#define FILESPECIFICATIONS_H

#include "manifest/filedownloadspecification.h"
#include "manifest/filereplacespecification.h"

#include <QList>
#include <QString>

// The file lists of one update. Tasks work on the lists through pointers and
// must not outlive the holder.
class FileSpecifications
{
public:
    FileSpecifications() = default;

    void clear();

    QList<FileDownloadSpecification> downloadList;
    QList<FileReplaceSpecification> replaceList;
    // Paths relative to the application directory, removed when the update ends.
    QList<QString> deleteList;
};

#endif
