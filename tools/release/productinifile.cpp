#include "productinifile.h"

#include "manifest/productiniline.h"

#include <QFileInfo>
#include <QSettings>

#include <algorithm>

namespace {

bool sameEntry(const ProductIniEntry& a, const ProductIniEntry& b)
{
    return a.download.section == b.download.section && a.download.fileName == b.download.fileName
        && a.download.md5 == b.download.md5 && a.download.size == b.download.size
        && a.replace.unzipMd5 == b.replace.unzipMd5 && a.replace.unzipSize == b.replace.unzipSize
        && a.replace.unzipFileName == b.replace.unzipFileName;
}

bool lessByPlace(const ProductIniEntry& a, const ProductIniEntry& b)
{
    if (a.download.section != b.download.section)
        return a.download.section < b.download.section;
    return a.download.fileName < b.download.fileName;
}

} // namespace

QString ProductIniFile::lineValue(const ProductIniEntry& entry)
{
    QStringList fields { entry.download.md5.toString(), QString::number(entry.download.size) };
    if (entry.replace.hasUnzip())
        fields << entry.replace.unzipMd5.toString() << QString::number(entry.replace.unzipSize)
               << entry.replace.unzipFileName;
    return fields.join(ProductIniLine::fieldSeparator());
}

bool ProductIniFile::write(const QString& path, QString* error) const
{
    {
        QSettings settings(path, QSettings::IniFormat);
        for (const ProductIniEntry& entry : entries) {
            settings.beginGroup(entry.download.section);
            settings.setValue(entry.download.fileName, lineValue(entry));
            settings.endGroup();
        }
        settings.beginGroup(ProductIniLine::deleteSection());
        for (const QString& key : deleteKeys)
            settings.setValue(key, QString());
        if (binding.version > 0)
            settings.setValue(ProductIniLine::bindingKey(binding), QString());
        // QSettings writes an empty list as an invalid value, which reads as no record.
        if (modesRecorded)
            settings.setValue(ProductIniLine::executablesKey(),
                executables.isEmpty() ? QVariant(QString()) : QVariant(executables));
        settings.endGroup();
        settings.sync();
        if (settings.status() == QSettings::NoError)
            return true;
    }
    *error = QStringLiteral("cannot write %1").arg(path);
    return false;
}

bool ProductIniFile::read(const QString& path, QString* error)
{
    entries.clear();
    deleteKeys.clear();
    binding = ProductIniLine::Binding();
    executables.clear();
    modesRecorded = false;
    if (!QFileInfo(path).isFile()) {
        *error = QStringLiteral("%1 does not exist or is not a file").arg(path);
        return false;
    }
    QSettings settings(path, QSettings::IniFormat);
    if (settings.status() != QSettings::NoError) {
        *error = QStringLiteral("%1 is not a readable ini file").arg(path);
        return false;
    }
    const QStringList sections = settings.childGroups();
    for (const QString& section : sections) {
        settings.beginGroup(section);
        const QStringList keys = settings.allKeys();
        for (const QString& key : keys) {
            const QString where = QStringLiteral("%1: [%2] %3").arg(path, section, key);
            if (!ProductIniLine::isSafeRelativePath(key)) {
                *error = QStringLiteral("%1: unsafe path").arg(where);
                return false;
            }
            if (section == ProductIniLine::deleteSection()) {
                // The record belongs to the ini it is in, never to a later version's deletions.
                if (!ProductIniLine::isReservedPath(key))
                    deleteKeys << key;
                else if (key == ProductIniLine::executablesKey()) {
                    modesRecorded = true;
                    executables = ProductIniLine::parseExecutables(settings.value(key));
                } else if (!ProductIniLine::parseBindingKey(key, &binding)) {
                    *error = QStringLiteral("%1: malformed release record").arg(where);
                    return false;
                }
                continue;
            }
            const QString value = settings.value(key).toString();
            ProductIniEntry entry;
            switch (ProductIniLine::parseFileLine(section, key, value, &entry)) {
            case ProductIniLine::LineError::None: break;
            case ProductIniLine::LineError::FieldCount:
                *error = QStringLiteral("%1: %2 fields, expected 2 or 5")
                             .arg(where)
                             .arg(ProductIniLine::splitFields(value).size());
                return false;
            case ProductIniLine::LineError::UnsafeKey:
                *error = QStringLiteral("%1: unsafe path").arg(where);
                return false;
            case ProductIniLine::LineError::UnsafeInstalledName:
                *error = QStringLiteral("%1: unsafe installed name").arg(where);
                return false;
            }
            entries << entry;
        }
        settings.endGroup();
    }
    return true;
}

QStringList ProductIniFile::installedPaths() const
{
    QStringList paths;
    for (const ProductIniEntry& entry : entries)
        paths << entry.installedPath();
    return paths;
}

bool ProductIniFile::operator==(const ProductIniFile& other) const
{
    // QSettings hands sections and keys back in its own order.
    QList<ProductIniEntry> mine = entries;
    QList<ProductIniEntry> theirs = other.entries;
    std::sort(mine.begin(), mine.end(), lessByPlace);
    std::sort(theirs.begin(), theirs.end(), lessByPlace);
    QStringList myDeletes = deleteKeys;
    QStringList theirDeletes = other.deleteKeys;
    myDeletes.sort();
    theirDeletes.sort();
    QStringList myExecutables = executables;
    QStringList theirExecutables = other.executables;
    myExecutables.sort();
    theirExecutables.sort();
    if (mine.size() != theirs.size() || myDeletes != theirDeletes || !(binding == other.binding)
        || modesRecorded != other.modesRecorded || myExecutables != theirExecutables)
        return false;
    for (int i = 0; i < mine.size(); ++i) {
        if (!sameEntry(mine.at(i), theirs.at(i)))
            return false;
    }
    return true;
}
