#include "filerenametaskspecification.h"

#include <QFile>

FileRenameTaskSpecification::FileRenameTaskSpecification(const QString& oldPath, const QString& newPath,
    RollbackDataList* rollbackList, QObject* parent, double parentProgressRange)
    : FastFileOpTaskSpecification(newPath, rollbackList, parent, parentProgressRange)
    , oldPath(oldPath)
{ }

bool FileRenameTaskSpecification::doOp()
{
    if (!QFile::rename(oldPath, path)) {
        Q_EMIT message(QStringLiteral("Could not rename '%1' to '%2'").arg(oldPath, path));
        return false;
    }
    addRollbackOp(RollbackData(RollbackData::Rename, oldPath, path));
    return true;
}
