#ifndef FILECHECK_H
#define FILECHECK_H

#include "manifest/contentsum.h"

#include <QByteArray>
#include <QString>

// What a file is verified against: an expected MD5 sum, or its detached
// signature "<file>.sig" under the built-in public key.
class FileCheck
{
public:
    enum class Kind { Md5Digest, DetachedSignature };

    static FileCheck md5Digest(const QString& md5) { return FileCheck(Kind::Md5Digest, md5); }
    static FileCheck detachedSignature() { return FileCheck(Kind::DetachedSignature, QString()); }
    // A sum as a product ini line gives it; the file format lets an empty
    // sum stand for the detached signature.
    static FileCheck listedSum(const QString& md5)
    {
        return md5.isEmpty() ? detachedSignature() : md5Digest(md5);
    }
    static FileCheck listedSum(const ContentSum& md5)
    {
        return md5.isEmpty() ? detachedSignature() : md5Digest(md5.toString());
    }

    Kind kind() const { return checkKind; }
    // The expected sum as hexadecimal text; empty for a signature check.
    QString md5() const { return expectedMd5; }
    // Whether a computed MD5 digest (raw bytes) is the expected sum.
    bool matchesMd5(const QByteArray& digest) const
    {
        return expectedMd5.compare(QString::fromLatin1(digest.toHex()), Qt::CaseInsensitive) == 0;
    }

private:
    FileCheck(Kind kind, const QString& md5)
        : checkKind(kind)
        , expectedMd5(md5)
    { }

    Kind checkKind;
    QString expectedMd5;
};

#endif
