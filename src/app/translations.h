#ifndef TRANSLATIONS_H
#define TRANSLATIONS_H

#include <QString>
#include <QTranslator>

// The updater's own texts and Qt's in the system locale's language, from
// translations/ in the installation, installed for as long as this lives.
class Translations
{
public:
    explicit Translations(const QString& installationRoot);
    ~Translations();
    Translations(const Translations&) = delete;
    Translations& operator=(const Translations&) = delete;

private:
    QTranslator own;
    QTranslator qt;
};

#endif
