#ifndef PATCHINDEX_H
#define PATCHINDEX_H

#include "manifest/contentsum.h"
#include "manifest/productiniline.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The patches of one release, published beside its product ini as
// "<type>.patches" with a detached signature "<type>.patches.sig". UTF-8
// text, one record a line, fields separated by tabs (no published name
// holds a control character):
//
//   voxmeadow-patch-index 1
//   release <type> <version>
//   <key> <base md5> <base size> <patch path> <patch md5> <patch size> <result md5> <result size>
//
// The key is the file's key in the product ini; base is the installed
// content the patch applies to, result the installed content it gives (for
// a packed file, the unpacked one); the patch path is relative to the
// release directory. The product ini does not mention the index, so
// updaters and mirrors without patches are untouched by it.
//
// Version 2 ("voxmeadow-patch-index 2"), published with a release manifest,
// has the same fields with SHA-256 digests (64 hexadecimal digits) in place
// of the three MD5 sums.
class PatchIndex
{
public:
    // The sums of an entry are hexadecimal digests of the index's algorithm.
    struct Entry
    {
        QString key;
        QString baseMd5;
        qint64 baseSize = 0;
        QString path;
        QString md5;
        qint64 size = 0;
        QString resultMd5;
        qint64 resultSize = 0;

        bool operator==(const Entry& other) const;
    };

    // Largest index accepted from a mirror.
    static constexpr qint64 MAX_SIZE = 64 * 1024 * 1024;

    static QString fileName(const QString& updateType);
    // Where the patches lie below the release directory.
    static QString directory();

    // Version 1 for MD5 sums, version 2 for SHA-256.
    QByteArray serialize() const;
    // Reads an index of either version, which sets `algorithm`; false when
    // `data` is not one (header or release line wrong). A record that
    // breaks the rules (field count, a sum that is not the algorithm's
    // number of hexadecimal digits, a size that is no number, a key or
    // patch path that leaves its directory) is left out and described in
    // `problems`.
    bool parse(const QByteArray& data, QStringList* problems);

    ProductIniLine::Binding binding;
    QList<Entry> entries;
    ContentSum::Algorithm algorithm = ContentSum::Algorithm::Md5;
};

#endif
