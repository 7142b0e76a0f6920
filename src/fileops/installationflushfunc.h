#ifndef INSTALLATIONFLUSHFUNC_H
#define INSTALLATIONFLUSHFUNC_H

#include "tasks/asyncfunc.h"

#include <QString>

// Writes everything cached for the installation's file system to disk. A
// failure is reported but does not fail the run: the files are complete.
class InstallationFlushFunc : public ASyncFunc
{
    Q_OBJECT
public:
    explicit InstallationFlushFunc(const QString& root);

protected:
    bool run() override;

private:
    const QString root;
};

#endif
