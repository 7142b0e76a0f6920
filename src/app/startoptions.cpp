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
            if (!ok || options.retries < 0) {
                options.problem = QT_TR_NOOP("--retries needs a number of 0 or more, not \"%1\"");
                options.problemArgument = count;
                return options;
            }
        } else {
            options.problem = QT_TR_NOOP("Unknown option %1");
            options.problemArgument = option;
            return options;
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

QString StartOptions::error() const
{
    return problem ? tr(problem).arg(problemArgument) : QString();
}

bool StartOptions::unattended() const
{
    return arguments.size() > 1 && arguments.at(1) == NoUser;
}
