#ifndef DIRCREATETASKSPECIFICATION_H
#define DIRCREATETASKSPECIFICATION_H

#include "fileops/fastfileoptaskspecification.h"

// Creates a directory together with any missing parents; every directory it
// creates is journalled, outermost first.
class DirCreateTaskSpecification : public FastFileOpTaskSpecification
{
    Q_OBJECT
public:
    DirCreateTaskSpecification(
        const QString& path, RollbackDataList* rollbackList, QObject* parent, double parentProgressRange);

    bool tryCreateDir(const QString& dirPath);

public Q_SLOTS:
    bool doOp() override;
};

#endif
