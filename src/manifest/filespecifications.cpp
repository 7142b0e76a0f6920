#include "filespecifications.h"

void FileSpecifications::clear()
{
    downloadList = QList<FileDownloadSpecification>();
    replaceList = QList<FileReplaceSpecification>();
    deleteList = QList<QString>();
}
