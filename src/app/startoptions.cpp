#include "app/startoptions.h"

namespace {

const QLatin1String OptionPrefix("--");
const QLatin1String NoUser("--nouser");
const QLatin1String Retries("--retries");
const QLatin1String Check("--check");
const QLatin1String Verify("--verify");

} // namespace

bool StartOptions::displayAvailable(const QProcessEnvironment& environment)
{
    // An empty variable names no display: Qt fails on it as on none.
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" }) {
        if (!environment.value(QLatin1String(name)).isEmpty())
            return true;
    }
    return false;
}

StartOptions StartOptions::parse(const QStringList& args, const QProcessEnvironment& environment)
{
    StartOptions options;
    options.arguments = args.mid(0, 1);
    bool noUser = false;
    QStringList passedOn;
    int i = 1;
    for (; i < args.size() && args.at(i).startsWith(OptionPrefix); ++i) {
        const QString& option = args.at(i);
        if (option == QLatin1String("--help")) {
            options.help = true;
        } else if (option == QLatin1String("--version")) {
            options.version = true;
        } else if (option == QLatin1String("--check-config")) {
            options.checkConfig = true;
        } else if (option == QLatin1String("--console")) {
            options.console = true;
        } else if (option == NoUser) {
            noUser = true;
        } else if (option == Check || option == Verify) {
            passedOn.append(option);
        } else if (option == QLatin1String("--progress=json")) {
            options.jsonProgress = true;
        } else if (option == Retries || option.startsWith(Retries + QLatin1Char('='))) {
            QString count = option.mid(Retries.size() + 1);
            if (option == Retries)
                count = ++i < args.size() ? args.at(i) : QString();
            bool ok = false;
            options.retries = count.toInt(&ok);
            if (!ok || options.retries < 0)
                return options.refuse(
                    QT_TR_NOOP("--retries needs a number of 0 or more, not \"%1\""), count, args.mid(i + 1));
        } else {
            return options.refuse(QT_TR_NOOP("Unknown option %1"), option, args.mid(i + 1));
        }
    }
    // The configuration knows --nouser only as the first argument.
    if (noUser)
        options.arguments.append(NoUser);
    options.arguments += args.mid(i);
    // The configuration reads these wherever they stand.
    options.arguments += passedOn;
    options.check = args.indexOf(Check, 1) > 0;
    if (!displayAvailable(environment))
        options.console = true;
    return options;
}

StartOptions StartOptions::refuse(const char* why, const QString& argument, const QStringList& rest)
{
    problem = why;
    problemArgument = argument;
    // A launcher that asked for JSON reads the refusal in JSON too.
    for (const QString& option : rest) {
        if (!option.startsWith(OptionPrefix))
            break;
        jsonProgress = jsonProgress || option == QLatin1String("--progress=json");
    }
    return *this;
}

QString StartOptions::error() const
{
    return problem ? tr(problem).arg(problemArgument) : QString();
}

bool StartOptions::unattended() const
{
    return arguments.size() > 1 && arguments.at(1) == NoUser;
}
