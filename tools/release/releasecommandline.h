#ifndef RELEASECOMMANDLINE_H
#define RELEASECOMMANDLINE_H

#include "trustedkeyset.h"

#include <QList>
#include <QStringList>

class QTextStream;

// The command line of voxmeadow-release:
//   --version      the version and the release keys built in
//   keygen         [--bits N | --ed25519] --private FILE --public FILE [--force]
//   publish        --source DIR --output DIR --version N --key FILE [...]
//   sign-manifest  --key FILE [--type TYPE] RELEASE_DIR
//   channels       --output DIR --key FILE [--channel NAME=VERSION[:LABEL]]...
//   sign-channels  --output DIR --key FILE [--type TYPE]
//   sign           --key FILE [--output SIG] FILE
//   verify         [--public-key FILE] [--signature SIG] FILE
//   check-mirror   [--type TYPE] [--deep] [--public-key FILE] URL VERSION
// Exit codes: 0 done, 1 the operation failed (or the signature is invalid,
// or the mirror lacks something), 2 the command line is wrong.
class ReleaseCommandLine
{
public:
    enum ExitCode { Success = 0, Failure = 1, UsageError = 2 };

    ReleaseCommandLine(QTextStream& out, QTextStream& err);

    // args[0] is the program name.
    int run(const QStringList& args);

private:
    int keygen(const QStringList& args);
    int publish(const QStringList& args);
    int signManifest(const QStringList& args);
    int channels(const QStringList& args);
    int signChannels(const QStringList& args);
    int sign(const QStringList& args);
    int verify(const QStringList& args);
    int checkMirror(const QStringList& args);
    int usage(const QString& problem);
    int failure(const QString& problem);
    // Prints each verdict on a set of trusted keys; Failure when one is not
    // met and `requireTrusted`.
    int report(const QList<TrustedKeySet::Verdict>& verdicts, bool requireTrusted);

    QTextStream& out;
    QTextStream& err;
    QString program;
};

#endif
