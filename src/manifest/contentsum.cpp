#include "contentsum.h"

#include <QByteArray>

#include <algorithm>

namespace {

int nibble(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

} // namespace

ContentSum ContentSum::fromText(QStringView text)
{
    return fromText(text, Algorithm::Md5);
}

ContentSum ContentSum::fromText(QStringView text, Algorithm algorithm)
{
    ContentSum sum;
    if (text.isEmpty())
        return sum;
    sum.kind = Kind::NoDigest;
    const int size = digestSize(algorithm);
    if (text.size() != 2 * size)
        return sum;
    for (int i = 0; i < size; ++i) {
        const int high = nibble(text[2 * i].unicode());
        const int low = nibble(text[2 * i + 1].unicode());
        if (high < 0 || low < 0) {
            sum.bytes = {};
            return sum;
        }
        sum.bytes[i] = char(high << 4 | low);
    }
    sum.kind = Kind::Digest;
    sum.algo = algorithm;
    return sum;
}

ContentSum ContentSum::fromDigest(QByteArrayView digest, Algorithm algorithm)
{
    ContentSum sum;
    sum.kind = Kind::NoDigest;
    if (digest.size() != digestSize(algorithm))
        return sum;
    std::copy_n(digest.data(), digest.size(), sum.bytes.begin());
    sum.kind = Kind::Digest;
    sum.algo = algorithm;
    return sum;
}

QString ContentSum::toString() const
{
    switch (kind) {
    case Kind::Empty: return QString();
    case Kind::Digest: return QString::fromLatin1(digest().toHex());
    case Kind::NoDigest: break;
    }
    // Not hexadecimal, so equal to no computed sum in any letter case.
    return QStringLiteral("-");
}

QByteArray ContentSum::digest() const
{
    return kind == Kind::Digest ? QByteArray(bytes.data(), digestSize(algo)) : QByteArray();
}
