#include "app/configuration.h"
#include "app/singleinstancechecker.h"
#include "manifest/installationlayout.h"
#include "ui/mainwindow.h"
#include "update/updateengine.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QDir root(InstallationLayout::ofRunningProgram().root());

    // Copies of the updater's own files that an earlier self-update could
    // not delete while they were in use.
    for (const QString& dir : InstallationLayout::specialFileDirectories())
        UpdateEngine::removeOldFiles(root.filePath(dir));
    root.rmdir(InstallationLayout::oldDirName());

    if (SingleInstanceChecker::checkExistingInstance(QStringLiteral("#")))
        return 0;

    const QString locale = QLocale::system().name();
    QTranslator updateTranslator;
    QTranslator qtTranslator;
    (void)updateTranslator.load(root.filePath(QStringLiteral("translations/update_") + locale));
    (void)qtTranslator.load(root.filePath(QStringLiteral("translations/qt_") + locale));
    QApplication::installTranslator(&updateTranslator);
    QApplication::installTranslator(&qtTranslator);

    int exitCode = 1;
    {
        Configuration config;
        MainWindow window(config);
        config.setRetryPrompt([&window] { return window.askRetryVersionQuery(); });
        if (config.parseCommandLineOptions()) {
            if (config.noUserMode == 1)
                QTimer::singleShot(2000, &window, &MainWindow::onAutoStartUpdate);
            window.setUIToConfigSpecs();
            window.show();
            window.setNews();
            exitCode = QApplication::exec();
        }
    }
    return exitCode;
}
