#ifndef LAYOUTFIXTURE_H
#define LAYOUTFIXTURE_H

#include "manifest/installationlayout.h"

#include <QString>
#include <QTemporaryDir>

// A fresh installation directory <work>/app and download directory
// <work>/download, both created, for tests of the tasks that work on them.
class LayoutFixture
{
public:
    LayoutFixture();
    LayoutFixture(const LayoutFixture&) = delete;
    LayoutFixture& operator=(const LayoutFixture&) = delete;

    bool isValid() const { return valid; }

    QTemporaryDir work;
    const QString root;
    const QString downloads;
    const InstallationLayout layout;

private:
    bool valid = false;
};

#endif
