#include "dircreatetaskspecification.h"

#include "fileops/newdirectory.h"

#include <QFileInfo>

DirCreateTaskSpecification::DirCreateTaskSpecification(
    const QString& path, RollbackDataList* rollbackList, QObject* parent, double parentProgressRange)
    : FastFileOpTaskSpecification(path, rollbackList, parent, parentProgressRange)
{ }

bool DirCreateTaskSpecification::doOp()
{
    return tryCreateDir(path);
}

bool DirCreateTaskSpecification::tryCreateDir(const QString& dirPath)
{
    const QFileInfo info(dirPath);
    if (info.exists()) {
        if (info.isDir())
            return true;
        Q_EMIT message(QStringLiteral("Could not create dir '%1' because it already exists "
                                      "and is not a dir")
                           .arg(dirPath));
        return false;
    }

    const QString parentPath = info.path();
    // A path without a directory part, or one that names no directory
    // entry of its own ("dir/", a root), cannot be built from its parent.
    if (parentPath == QLatin1String(".") || info.isRoot() || info.fileName().isEmpty()
        || parentPath == dirPath) {
        Q_EMIT message(QStringLiteral("Could not create dir %1").arg(path));
        return false;
    }

    if (!QFileInfo::exists(parentPath) && !tryCreateDir(parentPath))
        return false;

    if (!NewDirectory::make(dirPath)) {
        Q_EMIT message(QStringLiteral("unable to create dir %1").arg(dirPath));
        return false;
    }
    addRollbackOp(RollbackData(RollbackData::CreateDir, dirPath));
    return true;
}
