#ifndef PRODUCTINILINE_H
#define PRODUCTINILINE_H

#include <QString>
#include <QStringList>

// The rules for one line of a product ini, shared by the list compiler and
// the release tool: how a value splits into fields, and which relative paths
// may be used as file keys, installed names and delete keys.
class ProductIniLine
{
public:
    ProductIniLine() = delete;

    static constexpr int PlainFieldCount = 2;
    static constexpr int PackedFieldCount = 5;

    static QString deleteSection();
    static QString fieldSeparator();

    // Empty fields count: "a::" has two fields.
    static QStringList splitFields(const QString& value);
    static bool hasValidFieldCount(const QStringList& fields);

    // A path that stays below the directory it is resolved against: not
    // empty, not absolute, no ".." component, no backslash, no NUL.
    static bool isSafeRelativePath(const QString& path);
};

#endif
