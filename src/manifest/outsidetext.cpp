#include "manifest/outsidetext.h"

#include <QJsonArray>

namespace {

bool needsEscape(char16_t c, OutsideText::Breaks breaks)
{
    if (c == u'\n' || c == u'\t')
        return breaks == OutsideText::EscapeBreaks;
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || (c >= 0x202a && c <= 0x202e)
        || (c >= 0x2066 && c <= 0x2069);
}

QJsonValue escapedValue(const QJsonValue& value)
{
    if (value.isString())
        return OutsideText::escaped(value.toString());
    if (value.isObject())
        return OutsideText::escaped(value.toObject());
    if (!value.isArray())
        return value;
    QJsonArray array;
    for (const QJsonValue& element : value.toArray())
        array.append(escapedValue(element));
    return array;
}

} // namespace

QString OutsideText::escaped(const QString& text, Breaks breaks)
{
    qsizetype first = 0;
    while (first < text.size() && !needsEscape(text.at(first).unicode(), breaks))
        ++first;
    // A run logs lines by the hundred thousand, nearly all of them plain.
    if (first == text.size())
        return text;
    QString result = text.left(first);
    for (qsizetype i = first; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (!needsEscape(c, breaks))
            result += QChar(c);
        else if (c > 0xff)
            result += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        else
            result += QStringLiteral("\\x%1").arg(uint(c), 2, 16, QLatin1Char('0'));
    }
    return result;
}

QJsonObject OutsideText::escaped(const QJsonObject& object)
{
    QJsonObject result;
    for (auto it = object.begin(); it != object.end(); ++it)
        result.insert(it.key(), escapedValue(it.value()));
    return result;
}

bool OutsideText::isPlain(const QString& text)
{
    for (const QChar c : text) {
        if (needsEscape(c.unicode(), EscapeBreaks))
            return false;
    }
    return true;
}
