#include "manifest/signedtext.h"

#include "manifest/productiniline.h"

#include <limits>

namespace SignedText {

namespace {

int lowerHexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

} // namespace

Fields split(QByteArrayView line)
{
    Fields fields;
    qsizetype start = 0;
    for (;;) {
        const qsizetype tab = line.indexOf('\t', start);
        if (tab < 0) {
            fields.append(line.sliced(start));
            return fields;
        }
        fields.append(line.sliced(start, tab - start));
        start = tab + 1;
    }
}

bool hasControlCharacter(QByteArrayView line)
{
    for (const char c : line) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t') || u == 0x7f)
            return true;
    }
    return false;
}

bool hasControlCharacter(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    }
    return false;
}

// Unsigned decimal with one spelling per value: no sign, no leading zero.
bool parseNumber(QByteArrayView text, qint64* value)
{
    if (text.isEmpty() || (text.size() > 1 && text.front() == '0'))
        return false;
    qint64 result = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        const int digit = c - '0';
        if (result > (std::numeric_limits<qint64>::max() - digit) / 10)
            return false;
        result = result * 10 + digit;
    }
    *value = result;
    return true;
}

// Lower-case hexadecimal of exactly `size` bytes (one spelling per value),
// decoded in one pass into `raw`: the manifest gives two digests a file,
// hundreds of thousands of times.
bool decodeHex(QByteArrayView text, int size, char* raw)
{
    if (text.size() != 2 * size)
        return false;
    for (int i = 0; i < size; ++i) {
        const int high = lowerHexDigit(text[2 * i]);
        const int low = lowerHexDigit(text[2 * i + 1]);
        if (high < 0 || low < 0)
            return false;
        raw[i] = char(high << 4 | low);
    }
    return true;
}

bool parseHex(QByteArrayView text, int size, QByteArray* raw)
{
    QByteArray decoded(size, Qt::Uninitialized);
    if (!decodeHex(text, size, decoded.data()))
        return false;
    *raw = decoded;
    return true;
}

bool parseText(QByteArrayView text, QString* value)
{
    *value = QString::fromUtf8(text);
    // Malformed UTF-8 decodes to replacement characters and so differs.
    return value->toUtf8() == text;
}

bool isPathComponent(const QString& name)
{
    return ProductIniLine::isSafeRelativePath(name) && !name.contains(QLatin1Char('/'))
        && !hasControlCharacter(name);
}

} // namespace SignedText
