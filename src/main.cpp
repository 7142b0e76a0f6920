#include "tasks/eventdispatcherchoice.h"
#include "app/configuration.h"
#include "app/instancelock.h"
#include "app/logfile.h"
#include "app/versioncheckreport.h"
#include "update/installationrecord.h"
#include "app/singleinstancechecker.h"
#include "manifest/installationlayout.h"
#include "ui/mainwindow.h"
#include "update/updateengine.h"
#include "update/updatesettings.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QMessageBox>
#include <QTextStream>
#include <QTimer>
#include <QTranslator>

#include <curl/curl.h>

namespace {

// `update --check`: no window, no question, nothing changed; an unanswered
// query is "could not tell".
int checkVersions(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    Configuration config;
    QTextStream err(stderr);
    QObject::connect(&config, &Configuration::fatalError, &config,
        [&err](const QString& message) { err << "Error: " << message << Qt::endl; });
    const bool known = config.parseCommandLineOptions();
    const VersionCheckReport report(InstallationRecord::read(config.layout()),
        known ? config.updateTypeDesc : UpdateTypeDesc(), config.freshnessNote);
    QTextStream(stdout) << report.text();
    return report.code();
}

} // namespace

int main(int argc, char* argv[])
{
    // Before any thread exists, as libcurl requires.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--check") == 0)
            return checkVersions(argc, argv);
    }
    EventDispatcherChoice dispatcherChoice;
    QApplication application(argc, argv);
    dispatcherChoice.applicationCreated();
    const QDir root(InstallationLayout::ofRunningProgram().root());

    // Held until the process ends; the kernel drops it however we end.
    InstanceLock instanceLock(SingleInstanceChecker::getLockFilePath());
    if (!SingleInstanceChecker::claim(instanceLock, QStringLiteral("#")))
        return 0;
    // Only the one running updater starts a new log and keeps the last.
    LogFile logFile;
    if (logFile.open(LogFile::defaultDirectory()))
        LogFile::installMessageHandler(&logFile);

    // Copies of the updater's own files that an earlier self-update could
    // not delete while they were in use. Only the one running updater may
    // touch them: a running installation may still need them for a rollback.
    for (const QString& dir : InstallationLayout::specialFileDirectories())
        UpdateEngine::removeOldFiles(root.filePath(dir));
    root.rmdir(InstallationLayout::oldDirName());

    const QString locale = QLocale::system().name();
    QTranslator updateTranslator;
    QTranslator qtTranslator;
    (void)updateTranslator.load(root.filePath(QStringLiteral("translations/update_") + locale));
    (void)qtTranslator.load(root.filePath(QStringLiteral("translations/qt_") + locale));
    QApplication::installTranslator(&updateTranslator);
    QApplication::installTranslator(&qtTranslator);

    // Before anything can go out over the network: the version query and an
    // unattended start would otherwise run without the configured proxy.
    const QString settingsProblem
        = UpdateSettings::read(InstallationLayout::ofRunningProgram().settingsFile()).problem();
    if (!settingsProblem.isEmpty()) {
        qWarning().noquote() << "Error:" << settingsProblem;
        QMessageBox::critical(nullptr, QCoreApplication::translate("QObject", "Error"), settingsProblem);
        return 2;
    }

    int exitCode = 1;
    {
        Configuration config;
        MainWindow window(config);
        config.setRetryPrompt([&window] { return window.askRetryVersionQuery(); });
        if (config.parseCommandLineOptions()) {
            // Precise: a coarse timer of two seconds may fire a tenth of a second late.
            if (config.noUserMode == 1)
                QTimer::singleShot(2000, Qt::PreciseTimer, &window, &MainWindow::onAutoStartUpdate);
            window.setUIToConfigSpecs();
            window.show();
            window.setNews();
            exitCode = QApplication::exec();
        }
    }
    return exitCode;
}
