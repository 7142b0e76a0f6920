#include "app/configuration.h"
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

    // Copies of the updater's own files that an earlier self-update could
    // not delete while they were in use.
    UpdateEngine::removeOldFiles(root);
    UpdateEngine::removeOldFiles(root + QStringLiteral("/old"));
    UpdateEngine::removeOldFiles(root + QStringLiteral("/imageformats"));
    UpdateEngine::removeOldFiles(root + QStringLiteral("/accessible"));
    QDir().rmdir(QDir(root).absoluteFilePath(QStringLiteral("old")));

    if (SingleInstanceChecker::checkExistingInstance(QStringLiteral("#")))
        return 0;

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
