#include "app/translations.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>

Translations::Translations(const QString& installationRoot)
{
    const QDir root(installationRoot);
    const QString locale = QLocale::system().name();
    (void)own.load(root.filePath(QStringLiteral("translations/update_") + locale));
    (void)qt.load(root.filePath(QStringLiteral("translations/qt_") + locale));
    QCoreApplication::installTranslator(&own);
    QCoreApplication::installTranslator(&qt);
}

Translations::~Translations()
{
    QCoreApplication::removeTranslator(&qt);
    QCoreApplication::removeTranslator(&own);
}
