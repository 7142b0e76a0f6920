#include "productiniline.h"

#include "manifest/productinireader.h"

#include <QSettings>
#include <QVector>

namespace {

// A size that is no number, or too large for one, reads as 0: never as a
// negative size, which would leave the download without its bound.
qint64 listedSize(const QString& field)
{
    bool ok = false;
    const qint64 size = field.toLongLong(&ok);
    return ok && size > 0 ? size : 0;
}

} // namespace

QString ProductIniLine::deleteSection()
{
    return QStringLiteral("delete");
}

QString ProductIniLine::fieldSeparator()
{
    return QStringLiteral("::");
}

QStringList ProductIniLine::splitFields(const QString& value)
{
    return value.split(fieldSeparator(), Qt::KeepEmptyParts, Qt::CaseSensitive);
}

bool ProductIniLine::hasValidFieldCount(const QStringList& fields)
{
    return fields.size() == PlainFieldCount || fields.size() == PackedFieldCount;
}

ProductIniLine::LineError ProductIniLine::parseFileLine(
    const QString& section, const QString& key, const QString& value, ProductIniEntry* entry)
{
    if (!isSafeRelativePath(key))
        return LineError::UnsafeKey;
    const QStringList fields = splitFields(value);
    if (!hasValidFieldCount(fields))
        return LineError::FieldCount;
    *entry = ProductIniEntry();
    entry->download.section = entry->replace.section = section;
    entry->download.fileName = entry->replace.fileName = key;
    entry->download.md5 = ContentSum::fromText(fields.at(0));
    entry->download.size = listedSize(fields.at(1));
    if (fields.size() == PackedFieldCount) {
        entry->replace.unzipMd5 = ContentSum::fromText(fields.at(2));
        entry->replace.unzipSize = listedSize(fields.at(3));
        entry->replace.unzipFileName = fields.at(4);
        if (entry->replace.hasUnzip() && !isSafeRelativePath(entry->replace.unzipFileName))
            return LineError::UnsafeInstalledName;
    }
    return LineError::None;
}

bool ProductIniLine::isSafeRelativePath(const QString& path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return false;
    if (path.contains(QLatin1Char('\\')) || path.contains(QChar(0)))
        return false;
    // "." and empty parts would name a directory, the installation itself
    // included, or give one file a second spelling.
    const QVector<QStringView> components = QStringView(path).split(QLatin1Char('/'));
    for (const QStringView component : components) {
        if (component.isEmpty() || component == QLatin1String(".") || component == QLatin1String(".."))
            return false;
    }
    return true;
}

QString ProductIniLine::reservedDirectory()
{
    return QStringLiteral(".voxmeadow-release");
}

bool ProductIniLine::isReservedPath(const QString& path)
{
    return path.section(QLatin1Char('/'), 0, 0) == reservedDirectory();
}

QString ProductIniLine::bindingKey(const Binding& binding)
{
    // One arg() call: a type that holds "%1" must not take the version's place.
    return QStringLiteral("%1/%2/%3")
        .arg(reservedDirectory(), binding.updateType, QString::number(binding.version));
}

bool ProductIniLine::parseBindingKey(const QString& key, Binding* binding)
{
    const QStringList parts = key.split(QLatin1Char('/'));
    if (parts.size() != 3 || parts.at(0) != reservedDirectory() || parts.at(1).isEmpty())
        return false;
    bool ok = false;
    const int version = parts.at(2).toInt(&ok);
    if (!ok || version <= 0 || QString::number(version) != parts.at(2))
        return false;
    binding->updateType = parts.at(1);
    binding->version = version;
    return true;
}

QString ProductIniLine::executablesKey()
{
    return reservedDirectory() + QStringLiteral("/executables");
}

bool ProductIniLine::readExecutables(QSettings& settings, QStringList* paths)
{
    settings.beginGroup(deleteSection());
    const QVariant value = settings.value(executablesKey());
    settings.endGroup();
    if (!value.isValid())
        return false;
    *paths = parseExecutables(value);
    return true;
}

QStringList ProductIniLine::parseExecutables(const QVariant& value)
{
    // QSettings reads a list of one as a plain string, and none as an empty one.
    QStringList paths = value.toStringList();
    paths.removeAll(QString());
    return paths;
}

QList<ProductIniLine::Binding> ProductIniLine::readBindings(const QString& iniPath)
{
    ProductIniReader ini(iniPath);
    ini.open();
    QList<Binding> bindings;
    ProductIniReader::Line line;
    while (ini.next(&line)) {
        Binding binding;
        if (line.section == deleteSection() && parseBindingKey(line.key, &binding))
            bindings << binding;
    }
    return bindings;
}
