#include "tasks/eventdispatcherchoice.h"
#include "app/configcheck.h"
#include "app/configuration.h"
#include "app/consolefrontend.h"
#include "app/exitcode.h"
#include "app/instancelock.h"
#include "app/interruptwatcher.h"
#include "app/jsonprogressstream.h"
#include "app/logfile.h"
#include "app/runlog.h"
#include "app/runloglines.h"
#include "app/runtracker.h"
#include "app/versioncheckreport.h"
#include "update/installationrecord.h"
#include "update/updateinidata.h"
#include "app/singleinstancechecker.h"
#include "app/startoptions.h"
#include "app/summaryreport.h"
#include "app/translations.h"
#include "app/usagetext.h"
#include "manifest/installationlayout.h"
#include "manifest/outsidetext.h"
#include "ui/mainwindow.h"
#include "update/updateengine.h"
#include "update/updatesettings.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QMessageBox>
#include <QTextStream>
#include <QTimer>

#include <curl/curl.h>
#include <cstdio>
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
        out.write(QStringLiteral("update: %1\n%2\n")
                      .arg(OutsideText::escaped(options.error()), UsageText::seeHelp())
                      .toLocal8Bit());
        if (options.jsonProgress) {
            QFile json;
            if (json.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered)) {
                RunTracker tracker;
                JsonProgressStream stream(&tracker, &json);
                tracker.addError(options.error());
                stream.finish(ExitCode::Failed, SummaryReport::json(RunSummary(), 0));
            }
        }
        return ExitCode::Failed;
    }
    out.write((options.version ? UsageText::version() : UsageText::help()).toLocal8Bit());
    return ExitCode::Done;
}

int runWindow(const StartOptions& options, RunTracker& tracker, RunLog& log, QJsonObject& summary)
{
    // SIGINT and SIGTERM end the program with the cancel code.
    InterruptWatcher interrupts;
    // Before anything can go out over the network: the version query and an
    // unattended start would otherwise run without the configured proxy, or
    // with a mistake in mirrors.ini that only the first download would show.
    const InstallationLayout installation = InstallationLayout::ofRunningProgram();
    const QString configProblem
        = ConfigCheck::firstProblem(UpdateSettings::read(installation.settingsFile()), installation);
    if (!configProblem.isEmpty()) {
        qWarning().noquote() << "Error:" << configProblem;
        tracker.addError(configProblem);
        if (!options.unattended())
            MainWindow::showMessageBox(nullptr, QMessageBox::Critical,
                QCoreApplication::translate("QObject", "Error"), configProblem, QMessageBox::Ok);
        log.end(ExitCode::Failed);
        return ExitCode::Failed;
    }

    Configuration config;
    MainWindow window(config);
    window.setUnattended(options.unattended());
    tracker.follow(window.updateEngine());
    log.follow(config, window.updateEngine());
    QObject::connect(&config, &Configuration::message, &tracker, &RunTracker::addLine);
    QObject::connect(&config, &Configuration::fatalError, &tracker, &RunTracker::addError);
    if (options.unattended()) {
        config.setRetryPrompt([left = options.retries, &tracker]() mutable {
            if (left-- > 0)
                return true;
            const QString silent = QCoreApplication::translate(
                "ConsoleFrontEnd", "The update server did not answer: the current version is unknown.");
            qWarning().noquote() << QCoreApplication::translate("ConsoleOutput", "Error: %1").arg(silent);
            tracker.addError(silent);
            return false;
        });
    } else {
        config.setRetryPrompt([&window] { return window.askRetryVersionQuery(); });
    }
    // The window's own 1: a bad command line, or a version query given up.
    if (!config.parseCommandLineOptions(options.arguments)) {
        log.end(1, &config, window.updateEngine());
        return 1;
    }
    // Precise: a coarse timer of two seconds may fire a tenth of a second late.
    if (config.noUserMode == 1)
        QTimer::singleShot(2000, Qt::PreciseTimer, &window, &MainWindow::onAutoStartUpdate);
    window.setUIToConfigSpecs();
    window.show();
    window.setNews();
    // Until now a signal ended the program at once, which is as safe as a
    // kill; from here on the window ends it, a run cancelled first.
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &window, &MainWindow::cancelForSignal);
    interrupts.setRunActive(true);
    const int exitCode = QApplication::exec();
    log.end(exitCode, &config, window.updateEngine());
    summary = SummaryReport::json(window.updateEngine()->summary(), config.updateTypeDesc.version);
    summary.insert(QStringLiteral("heldBack"), config.offer.heldBackJson());
    return exitCode;
}

int runConsole(const StartOptions& options, RunTracker& tracker, RunLog& log, QJsonObject& summary)
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
    log.follow(config, frontEnd.updateEngine());
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
    log.end(exitCode, &config, frontEnd.updateEngine());
    summary = SummaryReport::json(frontEnd.updateEngine()->summary(), frontEnd.targetVersion());
    summary.insert(QStringLiteral("heldBack"), config.offer.heldBackJson());
    return exitCode;
}

// `update --check`: no window, no question, nothing changed; an unanswered
// query is "could not tell".
int checkVersions(int argc, char* argv[], const StartOptions& options)
{
    QCoreApplication application(argc, argv);
    QElapsedTimer clock;
    clock.start();
    const Translations translations(InstallationLayout::ofRunningProgram().root());
    // No log: only the escaping of what reaches the terminal.
    LogFile::installMessageHandler(nullptr);
    Configuration config;
    QFile out;
    (void)out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    QTextStream err(stderr);
    QObject::connect(&config, &Configuration::fatalError, &config, [&](const QString& message) {
        err << "Error: " << OutsideText::escaped(message) << Qt::endl;
        if (options.jsonProgress)
            out.write(JsonProgressStream::encode(QStringLiteral("log"),
                { { QStringLiteral("level"), QStringLiteral("error") },
                    { QStringLiteral("line"), message } }));
    });
    config.setRetryPrompt([left = options.retries]() mutable { return left-- > 0; });
    const bool known = config.parseCommandLineOptions(options.arguments);
    // A run that began and has not ended leaves its session record.
    int interrupted = 0;
    (void)UpdateIniData::get(config.layout(), &interrupted, nullptr, nullptr);
    const VersionCheckReport report(InstallationRecord::installed(config.layout()),
        known ? config.updateTypeDesc : UpdateTypeDesc(), known ? config.offer : OfferChoice::Offer(),
        interrupted, known && config.channelRecordExpired);
    if (!options.jsonProgress) {
        out.write(OutsideText::escaped(report.text()).toLocal8Bit());
        return report.code();
    }
    out.write(JsonProgressStream::encode(QStringLiteral("check"), report.json()));
    out.write(JsonProgressStream::encode(QStringLiteral("result"),
        JsonProgressStream::result(report.code(), clock.elapsed(), SummaryReport::json(RunSummary(), 0))));
    return report.code();
}

// `update --check-config`: update.ini and mirrors.ini as a run would read
// them, nothing sent anywhere.
int checkConfiguration(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const InstallationLayout installation = InstallationLayout::ofRunningProgram();
    const QStringList problems
        = ConfigCheck::problems(UpdateSettings::read(installation.settingsFile()), installation);
    QTextStream out(stdout);
    if (problems.isEmpty())
        out << "OK" << Qt::endl;
    for (const QString& problem : problems)
        out << problem << Qt::endl;
    return problems.isEmpty() ? ExitCode::Done : ExitCode::Failed;
}

} // namespace

int main(int argc, char* argv[])
{
    const StartOptions options
        = StartOptions::parse(argumentsOf(argc, argv), QProcessEnvironment::systemEnvironment());
    if (options.help || options.version || !options.error().isEmpty())
        return printUsage(argc, argv, options);
    if (options.checkConfig)
        return checkConfiguration(argc, argv);

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

    RunTracker tracker;
    QFile jsonOut;
    std::unique_ptr<JsonProgressStream> json;
    if (options.jsonProgress && jsonOut.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered))
        json = std::make_unique<JsonProgressStream>(&tracker, &jsonOut);
    QJsonObject summary = SummaryReport::json(RunSummary(), 0);

    // Held until the process ends; the kernel drops it however we end.
    InstanceLock instanceLock(SingleInstanceChecker::getLockFilePath());
    if (!SingleInstanceChecker::claim(instanceLock, QStringLiteral("#"))) {
        const QString left = QCoreApplication::translate(
            "ConsoleFrontEnd", "Another updater is at work in this installation; it is left to finish.");
        if (options.console)
            qInfo().noquote() << left;
        tracker.addLine(left);
        if (json)
            json->finish(ExitCode::Done, summary);
        return ExitCode::Done;
    }
    // Only the one running updater starts a new log and keeps the last.
    LogFile logFile;
    const bool logging = logFile.open(LogFile::defaultDirectory());
    LogFile::installMessageHandler(logging ? &logFile : nullptr);
    if (!logging)
        fprintf(stderr, "update: no update.log for this run (%s); the log goes to standard error only\n",
            qPrintable(OutsideText::escaped(logFile.refusal())));

    // Copies of the updater's own files that an earlier self-update could
    // not delete while they were in use. Only the one running updater may
    // touch them: a running installation may still need them for a rollback.
    for (const QString& dir : InstallationLayout::specialFileDirectories())
        UpdateEngine::removeOldFiles(root.filePath(dir));
    root.rmdir(InstallationLayout::oldDirName());

    RunLog log(logging ? &logFile : nullptr, tracker);
    log.write(RunLogLines::program(ReleaseTrust::builtIn()));
    // The window logs through Qt's messages, which reach the log file; the
    // console writes its lines itself.
    if (options.console && logging)
        QObject::connect(&tracker, &RunTracker::logged, &tracker,
            [&logFile](const QString& line) { logFile.write(line); });
    const int exitCode = options.console ? runConsole(options, tracker, log, summary)
                                         : runWindow(options, tracker, log, summary);
    if (json)
        json->finish(exitCode, summary);
    return exitCode;
}
