#ifndef CONTENTSUM_H
#define CONTENTSUM_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <array>

// The expected digest of a file's content: an MD5 sum as a product ini
// lists it, or a SHA-256 digest as a release manifest gives it. Kept in a
// few dozen bytes instead of a text of about a hundred: an update holds
// several for each of its files. A check computes the digest of the sum's
// own algorithm, so a sum of one algorithm never matches a digest of the
// other.
//
// Listed text is hexadecimal in any letter case; an empty text is the
// product ini's stand-in for a detached signature, and any other text is no
// digest and so matches no content.
class ContentSum
{
public:
    enum class Algorithm : quint8 { Md5, Sha256 };

    static constexpr int Md5Size = 16;
    static constexpr int Sha256Size = 32;
    static int digestSize(Algorithm algorithm) { return algorithm == Algorithm::Md5 ? Md5Size : Sha256Size; }

    ContentSum() = default;
    // An MD5 sum as the product ini lists it: 32 hexadecimal digits.
    static ContentSum fromText(QStringView text);
    // Hexadecimal text of exactly the algorithm's digest size.
    static ContentSum fromText(QStringView text, Algorithm algorithm);
    // From the raw bytes of a computed MD5 digest; anything else is no digest.
    static ContentSum fromDigest(QByteArrayView digest) { return fromDigest(digest, Algorithm::Md5); }
    static ContentSum fromDigest(QByteArrayView digest, Algorithm algorithm);

    bool isEmpty() const { return kind == Kind::Empty; }
    bool isDigest() const { return kind == Kind::Digest; }
    // The algorithm of a digest; MD5 for an empty sum or one that is none.
    Algorithm algorithm() const { return algo; }
    // "MD5" or "SHA-256", as messages name it.
    QString algorithmName() const
    {
        return algo == Algorithm::Md5 ? QStringLiteral("MD5") : QStringLiteral("SHA-256");
    }
    // Lower-case hexadecimal; empty for an empty sum; for listed text that
    // is no digest, a text that no digest matches either.
    QString toString() const;
    QByteArray digest() const;
    // Whether a computed digest (raw bytes) of this sum's algorithm is it.
    bool matches(const QByteArray& computed) const { return isDigest() && computed == digest(); }

    friend bool operator==(const ContentSum& a, const ContentSum& b)
    {
        return a.kind == b.kind && (a.kind != Kind::Digest || (a.algo == b.algo && a.bytes == b.bytes));
    }
    friend bool operator!=(const ContentSum& a, const ContentSum& b) { return !(a == b); }

private:
    enum class Kind : quint8 { Empty, Digest, NoDigest };

    std::array<char, Sha256Size> bytes {};
    Kind kind = Kind::Empty;
    Algorithm algo = Algorithm::Md5;
};

#endif
