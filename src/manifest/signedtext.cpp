#include "manifest/signedtext.h"

#include "manifest/productiniline.h"

#include <QFile>

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

bool isValidKey(const QString& key)
{
    return ProductIniLine::isSafeRelativePath(key) && !hasControlCharacter(key);
}

bool isSha256(const ContentSum& sum)
{
    return sum.isDigest() && sum.algorithm() == ContentSum::Algorithm::Sha256;
}

QString readLine(QFile& file, QByteArray& buffer, qint64* bytesRead, qint64 maxSize, const QString& document,
    QByteArrayView* text)
{
    const qint64 maxLineLength = buffer.size() - 2;
    const qint64 count = file.readLine(buffer.data(), buffer.size());
    if (count <= 0)
        return QStringLiteral("cannot be read: %1").arg(file.errorString());
    *bytesRead += count;
    if (*bytesRead > maxSize)
        return QStringLiteral("%1 is larger than %2 bytes").arg(document).arg(maxSize);
    *text = QByteArrayView(buffer.constData(), count);
    if (text->back() != '\n')
        return count > maxLineLength ? QStringLiteral("longer than %1 bytes").arg(maxLineLength)
                                     : QStringLiteral("no newline at its end");
    if (hasControlCharacter(text->chopped(1)))
        return QStringLiteral("a control character (lines end in a line feed alone)");
    return QString();
}

QByteArray signatureLine(const QByteArray& publicKey, const QByteArray& signature)
{
    return QByteArrayLiteral("signature\t") + publicKey.toHex() + '\t' + signature.toHex();
}

bool parseSignature(const Fields& fields, QByteArray* publicKey, QByteArray* signature)
{
    return fields.size() == 3 && parseHex(fields[1], SignatureKeySize, publicKey)
        && parseHex(fields[2], SignatureSize, signature);
}

} // namespace SignedText
