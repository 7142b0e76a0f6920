#ifndef FILECOPYFUNC_H
#define FILECOPYFUNC_H

#include "tasks/slowfileopfunc.h"

// Copies sourcePath to targetPath on a pool thread; fails when targetPath exists.
class FileCopyFunc : public SlowFileOpFunc
{
    Q_OBJECT
public:
    FileCopyFunc(const QString& sourcePath, const QString& targetPath);

protected:
    bool run() override;
};

#endif
