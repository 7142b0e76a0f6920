#include "md5sum.h"

#include <QByteArray>

#include <algorithm>

namespace {

constexpr int DigestSize = 16;

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

Md5Sum Md5Sum::fromText(QStringView text)
{
    Md5Sum sum;
    if (text.isEmpty())
        return sum;
    sum.kind = Kind::NoDigest;
    if (text.size() != 2 * DigestSize)
        return sum;
    for (int i = 0; i < DigestSize; ++i) {
        const int high = nibble(text[2 * i].unicode());
        const int low = nibble(text[2 * i + 1].unicode());
        if (high < 0 || low < 0) {
            sum.bytes = {};
            return sum;
        }
        sum.bytes[i] = char(high << 4 | low);
    }
    sum.kind = Kind::Digest;
    return sum;
}

Md5Sum Md5Sum::fromDigest(const QByteArray& digest)
{
    Md5Sum sum;
    sum.kind = Kind::NoDigest;
    if (digest.size() != DigestSize)
        return sum;
    std::copy_n(digest.constData(), DigestSize, sum.bytes.begin());
    sum.kind = Kind::Digest;
    return sum;
}

QString Md5Sum::toString() const
{
    switch (kind) {
    case Kind::Empty: return QString();
    case Kind::Digest: return QString::fromLatin1(digest().toHex());
    case Kind::NoDigest: break;
    }
    // Not hexadecimal, so equal to no computed sum in any letter case.
    return QStringLiteral("-");
}

QByteArray Md5Sum::digest() const
{
    return kind == Kind::Digest ? QByteArray(bytes.data(), DigestSize) : QByteArray();
}
