#include "filespecifications.h"

#include <algorithm>

void FileSpecifications::clear()
{
    dropDownloads();
    replaceList = QList<FileReplaceSpecification>();
    deleteList = QList<QString>();
    algorithm = ContentSum::Algorithm::Md5;
    checkedFiles = 0;
}

FileDownloadSpecification FileSpecifications::download(qsizetype index) const
{
    const ListedDownload& listed = downloads.at(index);
    const FileReplaceSpecification& replace = replaceList.at(listed.replaceIndex);
    return { replace.section, replace.fileName, replace.fetchedMd5, listed.size,
        listed.patchIndex < 0 ? nullptr : patches.at(listed.patchIndex) };
}

void FileSpecifications::listDownload(
    const ContentSum& md5, qint64 size, std::shared_ptr<const FilePatchSpecification> patch)
{
    Q_ASSERT(!replaceList.isEmpty());
    replaceList.last().fetchedMd5 = md5;
    qint32 patchIndex = -1;
    if (patch) {
        patchIndex = qint32(patches.size());
        patches.append(std::move(patch));
    }
    downloads.append({ qint32(replaceList.size() - 1), patchIndex, size });
}

qint64 FileSpecifications::listedSize(qsizetype replaceIndex) const
{
    const auto listed = std::lower_bound(downloads.cbegin(), downloads.cend(), replaceIndex,
        [](const ListedDownload& download, qsizetype index) { return download.replaceIndex < index; });
    return listed != downloads.cend() && listed->replaceIndex == replaceIndex ? listed->size : -1;
}

void FileSpecifications::dropDownloads()
{
    downloads = QList<ListedDownload>();
    patches = QList<std::shared_ptr<const FilePatchSpecification>>();
}
