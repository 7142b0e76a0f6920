#include "updateinidata.h"

#include <QFile>
#include <QSettings>

namespace {
const QString group = QStringLiteral("current");
}

QString UpdateIniData::filename(const InstallationLayout& layout)
{
    return layout.settingsFile();
}

bool UpdateIniData::get(const InstallationLayout& layout, int* version, QString* type, QString* dir)
{
    QSettings settings(filename(layout), QSettings::IniFormat);
    settings.beginGroup(group);
    bool isNumber = false;
    const int recordedVersion = settings.value(QStringLiteral("version")).toInt(&isNumber);
    const QString recordedType = settings.value(QStringLiteral("type")).toString();
    const QString recordedDir = settings.value(QStringLiteral("dir")).toString();
    settings.endGroup();

    if (!isNumber || recordedType.isEmpty() || recordedDir.isEmpty() || !QFile::exists(recordedDir))
        return false;
    if (version)
        *version = recordedVersion;
    if (type)
        *type = recordedType;
    if (dir)
        *dir = recordedDir;
    return true;
}

bool UpdateIniData::modify(
    const InstallationLayout& layout, int version, const QString& dir, const QString& type)
{
    QSettings settings(filename(layout), QSettings::IniFormat);
    settings.beginGroup(group);
    settings.setValue(QStringLiteral("version"), version);
    settings.setValue(QStringLiteral("dir"), dir);
    settings.setValue(QStringLiteral("type"), type);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

void UpdateIniData::cleanup(const InstallationLayout& layout)
{
    QSettings settings(filename(layout), QSettings::IniFormat);
    settings.remove(group);
}
