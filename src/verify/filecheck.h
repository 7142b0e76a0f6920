#ifndef FILECHECK_H
#define FILECHECK_H

#include "manifest/contentsum.h"

#include <QByteArray>
#include <QString>

// What a file is verified against: an expected digest (MD5 as the product
// ini lists it, or SHA-256 as a release manifest gives it), or its detached
// signature "<file>.sig" under the built-in public key.
class FileCheck
{
public:
    enum class Kind { ContentDigest, DetachedSignature };

    static FileCheck digest(const ContentSum& sum) { return FileCheck(Kind::ContentDigest, sum); }
    static FileCheck md5Digest(const QString& md5) { return digest(ContentSum::fromText(md5)); }
    static FileCheck detachedSignature() { return FileCheck(Kind::DetachedSignature, ContentSum()); }
    // A sum as a product ini line gives it; the file format lets an empty
    // sum stand for the detached signature.
    static FileCheck listedSum(const QString& md5) { return listedSum(ContentSum::fromText(md5)); }
    static FileCheck listedSum(const ContentSum& sum)
    {
        return sum.isEmpty() ? detachedSignature() : digest(sum);
    }

    Kind kind() const { return checkKind; }
    const ContentSum& sum() const { return expected; }
    ContentSum::Algorithm algorithm() const { return expected.algorithm(); }
    // Whether a computed digest (raw bytes, of algorithm()) is the expected one.
    bool matches(const QByteArray& digest) const { return expected.matches(digest); }

private:
    FileCheck(Kind kind, const ContentSum& sum)
        : checkKind(kind)
        , expected(sum)
    { }

    Kind checkKind;
    ContentSum expected;
};

#endif
