#include "app/configuration.h"
#include "app/instancelock.h"
#include "app/singleinstancechecker.h"
#include "app/updateengine.h"
#include "ui/mainwindow.h"

#include <QApplication>
#include <QDir>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    const QString root = Configuration::getAppRootPath();

    // Held until the process ends; the kernel drops it however we end.
    InstanceLock instanceLock(SingleInstanceChecker::getLockFilePath());
    if (!SingleInstanceChecker::claim(instanceLock, QStringLiteral("#")))
        return 0;

    // Copies of the updater's own files that an earlier self-update could
    // not delete while they were in use. Only the one running updater may
    // touch them: a running installation may still need them for a rollback.
    UpdateEngine::removeOldFiles(root);
    UpdateEngine::removeOldFiles(root + QStringLiteral("/old"));
    UpdateEngine::removeOldFiles(root + QStringLiteral("/imageformats"));
    UpdateEngine::removeOldFiles(root + QStringLiteral("/accessible"));
    QDir().rmdir(QDir(root).absoluteFilePath(QStringLiteral("old")));

    const QString locale = QLocale::system().name();
    QTranslator updateTranslator;
    QTranslator qtTranslator;
    (void)updateTranslator.load(root + QStringLiteral("/translations/update_") + locale);
    (void)qtTranslator.load(root + QStringLiteral("/translations/qt_") + locale);
    QApplication::installTranslator(&updateTranslator);
    QApplication::installTranslator(&qtTranslator);

    int exitCode = 1;
    {
        Configuration config;
        MainWindow window(config);
        if (config.parseCommandLineOptions()) {
            if (config.noUserMode == 1)
                QTimer::singleShot(2000, &window, SLOT(onAutoStartUpdate()));
            window.setUIToConfigSpecs();
            window.show();
            window.setNews();
            exitCode = QApplication::exec();
        }
    }
    return exitCode;
}
