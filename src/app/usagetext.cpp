#include "app/usagetext.h"

#include "app/exitcode.h"
#include "app/startoptions.h"

#include "buildconfig.h"

QString UsageText::help()
{
    return tr("Usage: update [OPTIONS] [--nouser] [TYPE VERSION [LABEL [NEWS]]]\n"
              "\n"
              "Brings the Voxmeadow 3 installation beside this program to the version its\n"
              "update channel offers, or to VERSION of client TYPE when given.\n"
              "\n"
              "  --nouser          start the update without a click and start the client\n"
              "                    afterwards (in the window); errors end the program\n"
              "  --console         no window: progress on the terminal, and no questions;\n"
              "                    chosen by itself when there is no display\n"
              "  --progress=json   one JSON object per line on standard output\n"
              "  --retries N       without a person to ask: how often to ask the update\n"
              "                    server again when it does not answer (default %1)\n"
              "  --check           say which version is installed and which is offered;\n"
              "                    change nothing (exit code 0 up to date, 100 update\n"
              "                    available, 3 could not tell)\n"
              "  --verify          read every installed file, whatever the digest cache\n"
              "                    remembers, and repair what differs\n"
              "  --check-config    check update.ini and mirrors.ini and name every mistake;\n"
              "                    nothing goes out (exit code 0 OK, 2 mistakes found)\n"
              "  --help            show this text\n"
              "  --version         show the version and the release keys built in\n"
              "\n"
              "Exit codes:\n"
              "  %2  installed, or already up to date\n"
              "  %3  cancelled (Ctrl-C, SIGTERM); in the window also a bad command line\n"
              "     or an update server that did not answer\n"
              "  %4  failed: command line, configuration, verification or no mirror;\n"
              "     the installation is as before\n"
              "  %5  the update server did not answer: the current version is unknown\n")
        .arg(StartOptions::DefaultRetries)
        .arg(ExitCode::Done)
        .arg(ExitCode::Canceled)
        .arg(ExitCode::Failed)
        .arg(ExitCode::Unknown);
}

QString UsageText::seeHelp()
{
    return tr("\"update --help\" lists the options.");
}

QString UsageText::version(const ReleaseTrust& trust)
{
    QString text = tr("Voxmeadow 3 update %1").arg(QStringLiteral(VOXMEADOW_VERSION)) + QLatin1Char('\n');
    if (trust.keys.isEmpty()) {
        text += tr("Release keys: none built in; a release is trusted on its product ini's signature "
                   "alone.");
    } else {
        text += tr("Release keys: %1 built in, %2 revoked; signatures a release needs: %3.")
                    .arg(trust.keys.size())
                    .arg(trust.revoked.size())
                    .arg(trust.threshold);
    }
    text += QLatin1Char('\n');
    if (trust.legacyBelow > 0)
        text += tr("Releases below version %1 are taken without a release manifest.").arg(trust.legacyBelow)
            + QLatin1Char('\n');
    text += tr("Update server: %1").arg(QStringLiteral(VOXMEADOW_UPDATE_HOST)) + QLatin1Char('\n');
    if constexpr (VOXMEADOW_DEMO_KEYS != 0)
        text += tr("Built with the public demo keys: for tests only, never for players.") + QLatin1Char('\n');
    return text;
}
