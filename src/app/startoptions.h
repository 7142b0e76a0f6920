#ifndef STARTOPTIONS_H
#define STARTOPTIONS_H

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// The options that choose how the updater runs, read before any Qt
// application object exists. They come before the arguments of the update
// itself, [--nouser] [TYPE VERSION [LABEL [NEWS]]], which are left in
// `arguments` as the configuration reads them; a client type never starts
// with "--", so the two cannot be confused.
class StartOptions
{
    Q_DECLARE_TR_FUNCTIONS(StartOptions)

public:
    static constexpr int DefaultRetries = 2;

    // `args` begins with the program name.
    static StartOptions parse(const QStringList& args, const QProcessEnvironment& environment);

    // Whether Qt can reach a display here: an X or Wayland display, or a
    // platform chosen explicitly (such as offscreen).
    static bool displayAvailable(const QProcessEnvironment& environment);

    // Why the options cannot be used, in the language of the translators
    // installed by the time it is asked (none are when the options are
    // read); empty when they can.
    QString error() const;
    bool help = false;
    bool version = false;
    // Given as --console, or chosen because no display is available.
    bool console = false;
    bool jsonProgress = false;
    // --check: report the installed and the offered version, change nothing.
    bool check = false;
    // --check-config: check update.ini and mirrors.ini, and nothing else.
    bool checkConfig = false;
    // How often an unanswered version query is sent again before giving up.
    int retries = DefaultRetries;
    // The program name followed by the update's own arguments.
    QStringList arguments;

    // Whether the update starts without a person (--nouser).
    bool unattended() const;

private:
    // Notes why the options cannot be used; `rest` are the arguments after
    // the refused one.
    StartOptions refuse(const char* why, const QString& argument, const QStringList& rest);

    const char* problem = nullptr;
    QString problemArgument;
};

#endif
