#ifndef PATCHINDEX_H
#define PATCHINDEX_H

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
class PatchIndex
{
public:
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

    QByteArray serialize() const;
    // Reads an index; false when `data` is not one (header or release line
    // wrong). A record that breaks the rules (field count, an MD5 that is
    // not 32 hexadecimal digits, a size that is no number, a key or patch
    // path that leaves its directory) is left out and described in
    // `problems`.
    bool parse(const QByteArray& data, QStringList* problems);

    ProductIniLine::Binding binding;
    QList<Entry> entries;
};

#endif
