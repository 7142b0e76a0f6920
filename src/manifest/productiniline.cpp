#include "productiniline.h"

#include <QVector>

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

bool ProductIniLine::isSafeRelativePath(const QString& path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return false;
    if (path.contains(QLatin1Char('\\')) || path.contains(QChar(0)))
        return false;
    const QVector<QStringView> components = QStringView(path).split(QLatin1Char('/'));
    for (const QStringView component : components) {
        if (component == QLatin1String(".."))
            return false;
    }
    return true;
}
