#include "transfer/mirrorsini.h"

#include "transfer/displayedurl.h"

#include <QFileInfo>
#include <QSet>
#include <QSettings>
#include <QUrl>

#include <limits>

namespace {

const QLatin1String FileName("mirrors.ini");
const QLatin1String ListGroup("mirrors");
const QLatin1String SizeKey("size");
const QLatin1String NameKey("mirror");
const QLatin1String UrlKey("url");
const QLatin1String RetriesKey("retries");

QString problem(const QString& text)
{
    return FileName + QStringLiteral(": ") + text;
}

// A whole number from 1 to the int maximum; 0 for anything else.
int parseRetries(const QString& value)
{
    bool ok = false;
    const qulonglong retries = value.toULongLong(&ok);
    if (!ok || retries == 0 || retries > static_cast<qulonglong>(std::numeric_limits<int>::max()))
        return 0;
    return static_cast<int>(retries);
}

} // namespace

MirrorsIni MirrorsIni::read(const QString& path)
{
    MirrorsIni ini;
    const QFileInfo info(path);
    if (!info.exists()) {
        ini.problems.append(problem(QStringLiteral("the file is missing")));
        return ini;
    }
    if (!info.isReadable()) {
        ini.problems.append(problem(QStringLiteral("the file cannot be read")));
        return ini;
    }
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        ini.problems.append(problem(QStringLiteral("the file is not in the ini format")));
        return ini;
    }
    const int size = settings.beginReadArray(ListGroup);
    for (int i = 0; i < size; ++i) {
        settings.setArrayIndex(i);
        const QString name = settings.value(NameKey).toString().trimmed();
        if (!name.isEmpty())
            ini.entries.append(Entry { name, QString(), DefaultRetries });
    }
    settings.endArray();
    ini.checkList(settings, size);
    QSet<QString> checked;
    for (Entry& entry : ini.entries) {
        settings.beginGroup(entry.name);
        entry.url = settings.value(UrlKey).toString().trimmed();
        const QVariant retries = settings.value(RetriesKey);
        if (retries.isValid())
            entry.retries = parseRetries(retries.toString().trimmed());
        // A name listed twice is one mirror's group, checked once.
        if (!checked.contains(entry.name))
            ini.checkMirror(settings, entry);
        checked.insert(entry.name);
        if (entry.retries == 0)
            entry.retries = DefaultRetries;
        settings.endGroup();
    }
    return ini;
}

void MirrorsIni::checkList(QSettings& settings, int size)
{
    settings.beginGroup(ListGroup);
    const QString sizeText = settings.value(SizeKey).toString();
    bool sizeOk = false;
    (void)sizeText.trimmed().toInt(&sizeOk);
    if (settings.contains(SizeKey) && !sizeOk)
        problems.append(problem(QStringLiteral("[mirrors] size \"%1\" is not a whole number").arg(sizeText)));
    for (const QString& key : settings.childKeys()) {
        if (key != SizeKey)
            problems.append(problem(QStringLiteral("[mirrors] has the unknown key \"%1\"").arg(key)));
    }
    for (const QString& group : settings.childGroups()) {
        bool isNumber = false;
        const int index = group.toInt(&isNumber);
        settings.beginGroup(group);
        const QStringList keys = settings.allKeys();
        settings.endGroup();
        for (const QString& key : keys) {
            const QString entry = group + QLatin1Char('\\') + key;
            if (!isNumber || key != NameKey)
                problems.append(problem(QStringLiteral("[mirrors] has the unknown key \"%1\"").arg(entry)));
            else if (index < 1 || index > size)
                problems.append(
                    problem(QStringLiteral("[mirrors] %1 lies beyond size=%2").arg(entry).arg(size)));
        }
    }
    settings.endGroup();
    for (const QString& key : settings.childKeys())
        problems.append(problem(QStringLiteral("\"%1\" stands outside any group").arg(key)));
    QSet<QString> named;
    for (const Entry& entry : std::as_const(entries))
        named.insert(entry.name);
    for (const QString& group : settings.childGroups()) {
        if (group != ListGroup && !named.contains(group))
            problems.append(problem(QStringLiteral("[%1] is not a mirror that [mirrors] names").arg(group)));
    }
    if (entries.isEmpty())
        problems.append(problem(QStringLiteral("[mirrors] names no mirror")));
}

void MirrorsIni::checkMirror(QSettings& settings, const Entry& entry)
{
    const QString group = QLatin1Char('[') + entry.name + QLatin1Char(']');
    if (settings.allKeys().isEmpty()) {
        problems.append(problem(
            QStringLiteral("[mirrors] names \"%1\", but there is no %2 group").arg(entry.name, group)));
        return;
    }
    for (const QString& key : settings.allKeys()) {
        if (key != UrlKey && key != RetriesKey)
            problems.append(
                problem(QStringLiteral("%1 has the unknown key \"%2\"; a mirror has url and retries")
                            .arg(group, key)));
    }
    const QString shown = DisplayedUrl::of(entry.url);
    const QUrl url(entry.url);
    const QString scheme = url.scheme().toLower();
    if (entry.url.isEmpty())
        problems.append(problem(QStringLiteral("%1 has no url").arg(group)));
    else if (!url.isValid())
        problems.append(problem(QStringLiteral("%1 url \"%2\" is not a valid address").arg(group, shown)));
    else if (scheme.isEmpty())
        problems.append(problem(
            QStringLiteral("%1 url \"%2\" has no scheme; only http and https are used").arg(group, shown)));
    else if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        problems.append(
            problem(QStringLiteral("%1 url \"%2\" has the scheme \"%3\"; only http and https are used")
                        .arg(group, shown, url.scheme())));
    else if (url.host().isEmpty())
        problems.append(problem(QStringLiteral("%1 url \"%2\" names no host").arg(group, shown)));
    const QVariant retries = settings.value(RetriesKey);
    if (retries.isValid() && entry.retries == 0) {
        const QString text = retries.toString();
        bool isNumber = false;
        const qlonglong number = text.trimmed().toLongLong(&isNumber);
        problems.append(problem(isNumber && number < 1
                ? QStringLiteral("%1 retries \"%2\" is below 1").arg(group, text)
                : QStringLiteral("%1 retries \"%2\" is not a whole number from 1 to %3")
                      .arg(group, text)
                      .arg(std::numeric_limits<int>::max())));
    }
}
