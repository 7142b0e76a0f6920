#ifndef USAGETEXT_H
#define USAGETEXT_H

#include "verify/releasetrust.h"

#include <QCoreApplication>
#include <QString>

// What `update --help` and `update --version` print.
class UsageText
{
    Q_DECLARE_TR_FUNCTIONS(UsageText)

public:
    static QString help();
    // After a mistake on the command line.
    static QString seeHelp();
    // The program's version and what it trusts.
    static QString version(const ReleaseTrust& trust = ReleaseTrust::builtIn());
};

#endif
