#include "oldcopydirectory.h"

#include "manifest/filereplacespecification.h"
#include "manifest/installationlayout.h"
#include "tasks/rollbackdata.h"
#include "tasks/rollbackdatalist.h"

#include <QDir>
#include <QFileInfo>

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
    const QDir root(appRootPath);
    const QString path = root.filePath(InstallationLayout::oldDirName());
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        return;
    if (root.mkdir(InstallationLayout::oldDirName()) && journal)
        journal->add(RollbackData(RollbackData::CreateDir, path));
}
