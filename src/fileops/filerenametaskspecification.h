#ifndef FILERENAMETASKSPECIFICATION_H
#define FILERENAMETASKSPECIFICATION_H

#include "fileops/fastfileoptaskspecification.h"

// Renames oldPath to path; never replaces an existing path.
class FileRenameTaskSpecification : public FastFileOpTaskSpecification
{
    Q_OBJECT
public:
    FileRenameTaskSpecification(const QString& oldPath, const QString& newPath,
        RollbackDataList* rollbackList, QObject* parent, double parentProgressRange);

    QString oldPath;

public Q_SLOTS:
    bool doOp() override;
};

#endif
