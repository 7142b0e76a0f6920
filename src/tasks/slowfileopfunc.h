#ifndef SLOWFILEOPFUNC_H
#define SLOWFILEOPFUNC_H

#include "tasks/asyncfunc.h"

#include <QString>

// Body of a file operation that reads sourcePath and creates targetPath.
class SlowFileOpFunc : public ASyncFunc
{
    Q_OBJECT
public:
    SlowFileOpFunc(const QString& sourcePath, const QString& targetPath);

protected:
    QString sourcePath;
    QString targetPath;
};

#endif
