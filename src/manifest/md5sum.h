#ifndef MD5SUM_H
#define MD5SUM_H

#include <QByteArray>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <array>

// An MD5 sum as a product ini lists it, kept in 17 bytes instead of a text
// of about a hundred: an update holds several for each of its files. Listed
// text is hexadecimal in any letter case; an empty text is the file format's
// stand-in for a detached signature, and any other text is no MD5 and so
// matches no content.
class Md5Sum
{
public:
    Md5Sum() = default;
    static Md5Sum fromText(QStringView text);
    // From the 16 bytes of a computed digest; anything else is no MD5.
    static Md5Sum fromDigest(const QByteArray& digest);

    bool isEmpty() const { return kind == Kind::Empty; }
    bool isDigest() const { return kind == Kind::Digest; }
    // Lower-case hexadecimal; empty for an empty sum; for listed text that
    // is no MD5, a text that no MD5 matches either.
    QString toString() const;
    QByteArray digest() const;

    friend bool operator==(const Md5Sum& a, const Md5Sum& b)
    {
        return a.kind == b.kind && (a.kind != Kind::Digest || a.bytes == b.bytes);
    }
    friend bool operator!=(const Md5Sum& a, const Md5Sum& b) { return !(a == b); }

private:
    enum class Kind : quint8 { Empty, Digest, NoDigest };

    std::array<char, 16> bytes {};
    Kind kind = Kind::Empty;
};

#endif
