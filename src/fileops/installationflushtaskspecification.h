#ifndef INSTALLATIONFLUSHTASKSPECIFICATION_H
#define INSTALLATIONFLUSHTASKSPECIFICATION_H

#include "tasks/asynctaskspecification.h"

#include <QString>

// Puts a completed installation on disk before its old copies are deleted
// and success is reported, so that a power loss cannot leave empty files.
// The flush runs on the thread pool: it can take seconds after large files.
class InstallationFlushTaskSpecification : public ASyncTaskSpecification
{
    Q_OBJECT
public:
    InstallationFlushTaskSpecification(const QString& root, QObject* parent, double parentProgressRange);

public Q_SLOTS:
    ASyncFunc* createFunction() override;

private:
    const QString root;
};

#endif
