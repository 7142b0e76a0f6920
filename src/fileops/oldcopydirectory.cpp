#include "oldcopydirectory.h"

#include "fileops/newdirectory.h"
#include "manifest/filereplacespecification.h"
#include "manifest/installationlayout.h"
#include "tasks/rollbackdata.h"
#include "tasks/rollbackdatalist.h"

#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

OldCopyDirectory::OldCopyDirectory(RollbackDataList* journal)
    : journal(journal)
{ }

void OldCopyDirectory::start(const QString& appRootPath)
{
    this->appRootPath = appRootPath;
    claimed.clear();
}

QString OldCopyDirectory::claim(const FileReplaceSpecification& record)
{
    QString name = record.oldDestFileName();
    for (int n = 2; claimed.contains(name); ++n)
        name = InstallationLayout::oldCopyName(record.pureDestFilePath(), n);
    claimed.insert(name);
    return name;
}

void OldCopyDirectory::ensureExists()
{
    const QString path = QDir(appRootPath).filePath(InstallationLayout::oldDirName());
    const QByteArray name = QFile::encodeName(path);
    struct stat info;
    if (::lstat(name.constData(), &info) == 0) {
        if (S_ISDIR(info.st_mode))
            return;
        // Never followed: old copies put behind a link would land, and be
        // swept away, wherever it points. The link itself goes.
        if (::unlink(name.constData()) != 0)
            return;
    }
    if (NewDirectory::make(path) && journal)
        journal->add(RollbackData(RollbackData::CreateDir, path));
}

bool OldCopyDirectory::isReal(const QString& appRootPath)
{
    struct stat info;
    return ::lstat(
               QFile::encodeName(QDir(appRootPath).filePath(InstallationLayout::oldDirName())).constData(),
               &info)
        == 0
        && S_ISDIR(info.st_mode);
}
