#ifndef FILESPECIFICATIONS_H
#define FILESPECIFICATIONS_H

#include "manifest/filedownloadspecification.h"
#include "manifest/filereplacespecification.h"

#include <QList>
#include <QString>

#include <memory>

// The file lists of one update. Tasks work on the lists through pointers and
// must not outlive the holder.
class FileSpecifications
{
public:
    FileSpecifications() = default;

    void clear();

    // The download list. Every download installs a replace record and would
    // repeat most of it, so the list keeps only what the fetch adds and
    // builds each file's record when asked.
    qsizetype downloadCount() const { return downloads.size(); }
    FileDownloadSpecification download(qsizetype index) const;
    // Lists the fetch of the last replace record, whose fetchedMd5 becomes md5.
    void listDownload(
        const ContentSum& md5, qint64 size, std::shared_ptr<const FilePatchSpecification> patch);
    // The size the download list gives the replace record at replaceIndex,
    // or -1 when it lists none.
    qint64 listedSize(qsizetype replaceIndex) const;
    void reserveDownloads(qsizetype count) { downloads.reserve(count); }
    // Once the downloads are done.
    void dropDownloads();

    QList<FileReplaceSpecification> replaceList;
    // What the release's sums are: SHA-256 with a release manifest, MD5
    // with the product ini alone.
    ContentSum::Algorithm algorithm = ContentSum::Algorithm::Md5;
    // Paths relative to the application directory, removed when the update ends.
    QList<QString> deleteList;
    // Installed files compared with the release.
    qsizetype checkedFiles = 0;

private:
    // 16 bytes a file where a whole record took about a hundred. Listed in
    // the order of the replace records they install.
    struct ListedDownload
    {
        qint32 replaceIndex;
        // Into `patches`, or -1: most files have none.
        qint32 patchIndex;
        qint64 size;
    };

    QList<ListedDownload> downloads;
    QList<std::shared_ptr<const FilePatchSpecification>> patches;
};

#endif
