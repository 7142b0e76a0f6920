#ifndef COMMANDLINE_H
#define COMMANDLINE_H

#include "manifest/updatetypedesc.h"

#include <QString>
#include <QStringList>

class UpdateSettings;

// What the command line asks for, read without side effects:
//   update [--nouser] [TYPE VERSION [LABEL [NEWS]]]
// and, anywhere after the program's name, --verify (read every installed
// file, whatever the digest cache says) or --check (report the installed and
// the offered version, change nothing); no client type starts with "--".
// An Alpha revision from update.ini wins over any version given. When
// neither fixes the version, the update server must be asked.
class CommandLine
{
public:
    enum Outcome { Ready, NeedsVersionQuery, Invalid };

    static CommandLine parse(const QStringList& args, const UpdateSettings& settings);

    // Takes the version number from `text` unless one is known already;
    // false (and `error` filled from `errorFormat`) when it is no number.
    bool takeVersion(const QString& text, const QString& errorFormat);
    // The same for a version the update server offers, which must be above
    // 0: no release directory is named 0 or below.
    bool takeOfferedVersion(const QString& text, const QString& errorFormat);

    Outcome outcome = Invalid;
    bool noUser = false;
    bool fullCheck = false;
    bool checkOnly = false;
    // Whether the command line named TYPE VERSION itself.
    bool explicitVersion = false;
    UpdateTypeDesc typeDesc;
    QString error;
};

#endif
