#ifndef PRODUCTINIFILE_H
#define PRODUCTINIFILE_H

#include "manifest/productiniline.h"

#include <QList>
#include <QString>
#include <QStringList>

// A product ini as the release tool writes and reads it: file sections whose
// keys are the published files with "::"-separated fields, and the section
// "delete" naming installed files the version no longer ships. Written and
// read through QSettings, exactly as the updater reads it.
class ProductIniFile
{
public:
    QList<ProductIniEntry> entries;
    QStringList deleteKeys;
    // Type and version the ini was published for; version 0: not recorded
    // (releases made before the record existed).
    ProductIniLine::Binding binding;
    // Installed paths that are executable; recorded only when
    // modesRecorded (releases made before the record existed have none).
    QStringList executables;
    bool modesRecorded = false;

    static QString lineValue(const ProductIniEntry& entry);

    bool write(const QString& path, QString* error) const;
    // Refuses lines the updater would refuse (field count, unsafe paths).
    bool read(const QString& path, QString* error);

    // Paths below the installation directory that this version installs.
    QStringList installedPaths() const;

    bool operator==(const ProductIniFile& other) const;
};

#endif
