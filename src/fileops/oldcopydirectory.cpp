#include "oldcopydirectory.h"

#include "manifest/filereplacespecification.h"
#include "tasks/rollbackdata.h"
#include "tasks/rollbackdatalist.h"

#include <QDir>
#include <QFileInfo>

namespace {
const QLatin1String oldDirName("old");
}

OldCopyDirectory::OldCopyDirectory(RollbackDataList* journal)
    : journal(journal)
{
}

void OldCopyDirectory::start(const QString& appRootPath)
{
    this->appRootPath = appRootPath;
    claimed.clear();
}

QString OldCopyDirectory::claim(const FileReplaceSpecification& record)
{
    QString name = record.oldDestFileName();
    if (claimed.contains(name)) {
        const QString plain = QFileInfo(record.pureDestFilePath()).fileName();
        for (int n = 2;; ++n) {
            name = QStringLiteral("old/_old_%1_%2").arg(n).arg(plain);
            if (!claimed.contains(name))
                break;
        }
    }
    claimed.insert(name);
    return name;
}

void OldCopyDirectory::ensureExists()
{
    const QDir root(appRootPath);
    const QString path = root.filePath(oldDirName);
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        return;
    if (root.mkdir(oldDirName) && journal)
        journal->add(RollbackData(RollbackData::CreateDir, path));
}
