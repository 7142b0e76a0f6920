#ifndef SIGNEDTEXT_H
#define SIGNEDTEXT_H

#include "manifest/contentsum.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVarLengthArray>

class QFile;

// The strict reading shared by the signed text files (release manifests,
// channel records): tab-separated fields, and one spelling per value, so
// that no two texts that differ in their bytes mean the same.
namespace SignedText {

using Fields = QVarLengthArray<QByteArrayView, 8>;

Fields split(QByteArrayView line);
bool hasControlCharacter(QByteArrayView line);
bool hasControlCharacter(const QString& text);
// Unsigned decimal: no sign, no leading zero.
bool parseNumber(QByteArrayView text, qint64* value);
// Lower-case hexadecimal of exactly `size` bytes, decoded into `raw`.
bool decodeHex(QByteArrayView text, int size, char* raw);
bool parseHex(QByteArrayView text, int size, QByteArray* raw);
// UTF-8 that decodes without replacement.
bool parseText(QByteArrayView text, QString* value);
// An update type, a section or a channel: one safe path component, as each
// names a directory or a file on the mirrors.
bool isPathComponent(const QString& name);
// A file's key in a release: a safe relative path without control characters.
bool isValidKey(const QString& key);
bool isSha256(const ContentSum& sum);

// Reads the next line of a file bounded to `maxSize` bytes in all, and to
// `buffer`'s size less two a line; `document` names the file in the answer
// ("the manifest"). The line, with its line feed, goes to `text`. An empty
// answer when it is sound, else what is wrong with it.
QString readLine(QFile& file, QByteArray& buffer, qint64* bytesRead, qint64 maxSize, const QString& document,
    QByteArrayView* text);

// A signature line: "signature", the signer's 32-byte Ed25519 key and the
// 64-byte signature, in lower-case hexadecimal (no line feed).
QByteArray signatureLine(const QByteArray& publicKey, const QByteArray& signature);
// The key and the signature of a signature line's fields.
bool parseSignature(const Fields& fields, QByteArray* publicKey, QByteArray* signature);
// Ed25519's sizes; the layer that knows Ed25519 lies above this one.
constexpr int SignatureKeySize = 32;
constexpr int SignatureSize = 64;

} // namespace SignedText

#endif
