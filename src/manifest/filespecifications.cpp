#include "filespecifications.h"

void FileSpecifications::clear()
{
    downloadList = QList<FileDownloadSpecification>();
    replaceList = QList<FileReplaceSpecification>();
    deleteList = QList<QString>();
}

void FileSpecifications::noteFetchedSums()
{
    // A file's download is listed in the same order as its replacement, of
    // which it is one: one walk pairs them, without a table of all downloads.
    qsizetype next = 0;
    for (FileReplaceSpecification& replace : replaceList) {
        if (next < downloadList.size() && downloadList.at(next).section == replace.section
            && downloadList.at(next).fileName == replace.fileName)
            replace.fetchedMd5 = downloadList.at(next++).md5;
    }
}
