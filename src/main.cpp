#include "tasks/eventdispatcherchoice.h"
#include "app/configuration.h"
#include "app/consolefrontend.h"
#include "app/exitcode.h"
#include "app/instancelock.h"
#include "app/interruptwatcher.h"
#include "app/jsonprogressstream.h"
#include "app/logfile.h"
#include "app/runtracker.h"
#include "app/versioncheckreport.h"
#include "update/installationrecord.h"
#include "app/singleinstancechecker.h"
#include "app/startoptions.h"
#include "app/summaryreport.h"
#include "app/translations.h"
#include "app/usagetext.h"
#include "manifest/installationlayout.h"
#include "ui/mainwindow.h"
#include "update/updateengine.h"
#include "update/updatesettings.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QMessageBox>
#include <QTextStream>
#include <QTimer>

#include <curl/curl.h>
#include <memory>
#include <unistd.h>

namespace {

QStringList argumentsOf(int argc, char* argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    return args;
}

// --help and --version, and options that cannot be used, need no display
// and touch nothing.
int printUsage(int argc, char* argv[], const StartOptions& options)
{
    QCoreApplication application(argc, argv);
    const Translations translations(InstallationLayout::ofRunningProgram().root());
    QFile out;
    (void)out.open(options.error().isEmpty() ? STDOUT_FILENO : STDERR_FILENO, QIODevice::WriteOnly);
    if (!options.error().isEmpty()) {
        out.write(
            QStringLiteral("update: %1\n%2\n").arg(options.error(), UsageText::seeHelp()).toLocal8Bit());
        return ExitCode::Failed;
    }
    out.write((options.version ? UsageText::version() : UsageText::help()).toLocal8Bit());
    return ExitCode::Done;
}

int runWindow(const StartOptions& options, RunTracker& tracker, QJsonObject& summary)
{
    // Before anything can go out over the network: the version query and an
    // unattended start would otherwise run without the configured proxy.
    const QString settingsProblem
        = UpdateSettings::read(InstallationLayout::ofRunningProgram().settingsFile()).problem();
    if (!settingsProblem.isEmpty()) {
        qWarning().noquote() << "Error:" << settingsProblem;
        tracker.addError(settingsProblem);
        if (!options.unattended())
            QMessageBox::critical(nullptr, QCoreApplication::translate("QObject", "Error"), settingsProblem);
        return ExitCode::Failed;
    }

    Configuration config;
    MainWindow window(config);
    window.setUnattended(options.unattended());
    tracker.follow(window.updateEngine());
    QObject::connect(&config, &Configuration::message, &tracker, &RunTracker::addLine);
    QObject::connect(&config, &Configuration::fatalError, &tracker, &RunTracker::addError);
    if (options.unattended()) {
        config.setRetryPrompt([left = options.retries]() mutable {
            if (left-- > 0)
                return true;
            qWarning().noquote()
                << QCoreApplication::translate("ConsoleOutput", "Error: %1")
                       .arg(QCoreApplication::translate("ConsoleFrontEnd",
                           "The update server did not answer: the current version is unknown."));
            return false;
        });
    } else {
        config.setRetryPrompt([&window] { return window.askRetryVersionQuery(); });
    }
    // The window's own 1: a bad command line, or a version query given up.
    if (!config.parseCommandLineOptions(options.arguments))
        return 1;
    // Precise: a coarse timer of two seconds may fire a tenth of a second late.
    if (config.noUserMode == 1)
        QTimer::singleShot(2000, Qt::PreciseTimer, &window, &MainWindow::onAutoStartUpdate);
    window.setUIToConfigSpecs();
    window.show();
    window.setNews();
    const int exitCode = QApplication::exec();
    summary = SummaryReport::json(window.updateEngine()->summary(), config.updateTypeDesc.version);
    return exitCode;
}

int runConsole(const StartOptions& options, RunTracker& tracker, QJsonObject& summary)
{
    // With a JSON stream on standard output, people read standard error.
    QFile out;
    QFile err;
    const int outFd = options.jsonProgress ? STDERR_FILENO : STDOUT_FILENO;
    (void)out.open(outFd, QIODevice::WriteOnly | QIODevice::Unbuffered);
    (void)err.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    const int terminalFd = !options.jsonProgress && ::isatty(outFd) ? outFd : -1;

    Configuration config;
    ConsoleFrontEnd frontEnd(config, &tracker, &out, &err, terminalFd);
    // The other updater this one would hand over to has no window to show.
    SingleInstanceChecker instanceServer;
    InterruptWatcher interrupts;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &frontEnd, &ConsoleFrontEnd::cancel);
    QObject::connect(
        &frontEnd, &ConsoleFrontEnd::runActiveChanged, &interrupts, &InterruptWatcher::setRunActive);
    QObject::connect(&frontEnd, &ConsoleFrontEnd::finished, &frontEnd,
        [](int exitCode) { QCoreApplication::exit(exitCode); });
    QTimer::singleShot(
        0, &frontEnd, [&frontEnd, &options] { frontEnd.start(options.arguments, options.retries); });
    const int exitCode = QCoreApplication::exec();
    summary = SummaryReport::json(frontEnd.updateEngine()->summary(), frontEnd.targetVersion());
    return exitCode;
}

// `update --check`: no window, no question, nothing changed; an unanswered
// query is "could not tell".
int checkVersions(int argc, char* argv[], const StartOptions& options)
{
    QCoreApplication application(argc, argv);
    const Translations translations(InstallationLayout::ofRunningProgram().root());
    Configuration config;
    QTextStream err(stderr);
    QObject::connect(&config, &Configuration::fatalError, &config,
        [&err](const QString& message) { err << "Error: " << message << Qt::endl; });
    config.setRetryPrompt([left = options.retries]() mutable { return left-- > 0; });
    const bool known = config.parseCommandLineOptions(options.arguments);
    const VersionCheckReport report(InstallationRecord::installed(config.layout()),
        known ? config.updateTypeDesc : UpdateTypeDesc(), config.freshnessNote);
    QTextStream(stdout) << report.text();
    return report.code();
}

} // namespace

int main(int argc, char* argv[])
{
    const StartOptions options
        = StartOptions::parse(argumentsOf(argc, argv), QProcessEnvironment::systemEnvironment());
    if (options.help || options.version || !options.error().isEmpty())
        return printUsage(argc, argv, options);

    // Before any thread exists, as libcurl requires.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    if (options.check)
        return checkVersions(argc, argv, options);
    EventDispatcherChoice dispatcherChoice;
    std::unique_ptr<QCoreApplication> application = options.console
        ? std::make_unique<QCoreApplication>(argc, argv)
        : std::make_unique<QApplication>(argc, argv);
    dispatcherChoice.applicationCreated();
    const QDir root(InstallationLayout::ofRunningProgram().root());

    const Translations translations(root.path());

    // Held until the process ends; the kernel drops it however we end.
    InstanceLock instanceLock(SingleInstanceChecker::getLockFilePath());
    if (!SingleInstanceChecker::claim(instanceLock, QStringLiteral("#"))) {
        if (options.console)
            qInfo().noquote() << QCoreApplication::translate(
                "ConsoleFrontEnd", "Another updater is at work in this installation; it is left to finish.");
        return ExitCode::Done;
    }
    // Only the one running updater starts a new log and keeps the last.
    LogFile logFile;
    const bool logging = logFile.open(LogFile::defaultDirectory());
    if (logging)
        LogFile::installMessageHandler(&logFile);

    // Copies of the updater's own files that an earlier self-update could
    // not delete while they were in use. Only the one running updater may
    // touch them: a running installation may still need them for a rollback.
    for (const QString& dir : InstallationLayout::specialFileDirectories())
        UpdateEngine::removeOldFiles(root.filePath(dir));
    root.rmdir(InstallationLayout::oldDirName());

    RunTracker tracker;
    // The window logs through Qt's messages, which reach the log file; the
    // console writes its lines itself.
    if (options.console && logging)
        QObject::connect(&tracker, &RunTracker::logged, &tracker,
            [&logFile](const QString& line) { logFile.write(line); });
    QFile jsonOut;
    std::unique_ptr<JsonProgressStream> json;
    if (options.jsonProgress && jsonOut.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
        json = std::make_unique<JsonProgressStream>(&tracker, &jsonOut);
    QJsonObject summary = SummaryReport::json(RunSummary(), 0);
    const int exitCode
        = options.console ? runConsole(options, tracker, summary) : runWindow(options, tracker, summary);
    if (json)
        json->finish(exitCode, summary);
    return exitCode;
}
