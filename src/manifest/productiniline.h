#ifndef PRODUCTINILINE_H
#define PRODUCTINILINE_H

#include "manifest/productinientry.h"

#include <QList>
#include <QString>
#include <QStringList>

class QSettings;
class QVariant;

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

    enum class LineError { None, UnsafeKey, FieldCount, UnsafeInstalledName };
    // Reads the file line `key`=`value` of `section` into `entry`. Sizes are
    // unsigned decimal; text that does not parse gives 0.
    static LineError parseFileLine(
        const QString& section, const QString& key, const QString& value, ProductIniEntry* entry);

    // The type and version a release was published for, recorded in its
    // product ini as a delete key below reservedDirectory(): a directory no
    // client ships, so an updater that does not know the record looks for
    // a file that never exists and ignores it.
    struct Binding
    {
        QString updateType;
        int version = 0;

        bool operator==(const Binding& other) const
        {
            return updateType == other.updateType && version == other.version;
        }
    };
    static QString reservedDirectory();
    static bool isReservedPath(const QString& path);
    static QString bindingKey(const Binding& binding);
    // False for any key that is not a well-formed binding.
    static bool parseBindingKey(const QString& key, Binding* binding);
    // The well-formed bindings in the delete section of the ini at path.
    static QList<Binding> readBindings(const QString& iniPath);

    // The installed paths a release marks executable: the list value of
    // this one delete key below reservedDirectory(), which an updater that
    // does not know the record takes for a file that never exists.
    static QString executablesKey();
    // Whether `settings` (at its top level) holds the record; its paths
    // into `paths` then.
    static bool readExecutables(QSettings& settings, QStringList* paths);
    static QStringList parseExecutables(const QVariant& value);

    // A path that names a file below the directory it is resolved against:
    // not absolute, no empty, "." or ".." component, no backslash, no NUL.
    static bool isSafeRelativePath(const QString& path);
};

#endif
