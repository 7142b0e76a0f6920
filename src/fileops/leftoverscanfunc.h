#ifndef LEFTOVERSCANFUNC_H
#define LEFTOVERSCANFUNC_H

#include "tasks/asyncfunc.h"

#include <QString>
#include <QStringList>

// Looks for what interrupted runs left below an installation on a pool
// thread: the walk visits every directory of it.
class LeftoverScanFunc : public ASyncFunc
{
    Q_OBJECT
public:
    explicit LeftoverScanFunc(const QString& root);

Q_SIGNALS:
    // The leftovers, relative to the root; before the run's result.
    void scanned(QStringList leftovers);

protected:
    bool run() override;

private:
    const QString root;
};

#endif
