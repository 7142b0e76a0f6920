#ifndef SIGNEDTEXT_H
#define SIGNEDTEXT_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QVarLengthArray>

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

} // namespace SignedText

#endif
