#include "update/installationrecord.h"

#include "manifest/releasemarker.h"
#include "update/updateinidata.h"

#include <QRandomGenerator>
#include <QFile>
#include <QSettings>

namespace {

const QString InstalledGroup = QStringLiteral("installed");
const QString SerialGroup = QStringLiteral("channel-serials");
const QString RolloutIdKey = QStringLiteral("rollout/id");

quint64 readRolloutId(const InstallationLayout& layout)
{
    const QSettings settings(layout.settingsFile(), QSettings::IniFormat);
    const QString text = settings.value(RolloutIdKey).toString();
    bool ok = false;
    const quint64 id = text.toULongLong(&ok, 16);
    return ok && text.size() == 16 ? id : 0;
}

} // namespace

InstallationRecord InstallationRecord::read(const InstallationLayout& layout)
{
    QSettings settings(layout.settingsFile(), QSettings::IniFormat);
    settings.beginGroup(InstalledGroup);
    InstallationRecord record;
    bool versionOk = false;
    bool publishedOk = false;
    record.updateType = settings.value(QStringLiteral("type")).toString();
    record.version = settings.value(QStringLiteral("version")).toInt(&versionOk);
    record.published = settings.value(QStringLiteral("published"), -1).toLongLong(&publishedOk);
    if (!versionOk || !record.isValid())
        return InstallationRecord();
    if (!publishedOk || record.published < 0)
        record.published = -1;
    return record;
}

InstallationRecord InstallationRecord::installed(const InstallationLayout& layout)
{
    const InstallationRecord kept = read(layout);
    if (kept.isValid())
        return kept;
    QFile marker(layout.installedPath(ReleaseMarker::fileName()));
    ProductIniLine::Binding binding;
    if (!marker.open(QIODevice::ReadOnly)
        || !ReleaseMarker::parse(marker.read(ReleaseMarker::MAX_SIZE + 1), &binding))
        return InstallationRecord();
    InstallationRecord found;
    found.updateType = binding.updateType;
    found.version = binding.version;
    return found;
}

bool InstallationRecord::write(const InstallationLayout& layout, const InstallationRecord& record)
{
    return UpdateIniData::rewrite(layout, [&record](QSettings& settings) {
        settings.beginGroup(InstalledGroup);
        settings.setValue(QStringLiteral("type"), record.updateType);
        settings.setValue(QStringLiteral("version"), record.version);
        settings.setValue(QStringLiteral("published"), record.published);
        settings.endGroup();
    });
}

qint64 InstallationRecord::channelSerial(const InstallationLayout& layout, const QString& updateType)
{
    QSettings settings(layout.settingsFile(), QSettings::IniFormat);
    settings.beginGroup(SerialGroup);
    bool ok = false;
    const qint64 serial = settings.value(updateType).toLongLong(&ok);
    return ok && serial >= 0 ? serial : -1;
}

bool InstallationRecord::setChannelSerial(
    const InstallationLayout& layout, const QString& updateType, qint64 serial)
{
    return UpdateIniData::rewrite(layout, [&](QSettings& settings) {
        settings.beginGroup(SerialGroup);
        settings.setValue(updateType, serial);
        settings.endGroup();
    });
}

quint64 InstallationRecord::rolloutId(const InstallationLayout& layout, bool create)
{
    const quint64 kept = readRolloutId(layout);
    if (kept != 0 || !create)
        return kept;
    quint64 id = 0;
    while (id == 0)
        id = QRandomGenerator::system()->generate64();
    const bool written = UpdateIniData::rewrite(layout, [id](QSettings& settings) {
        settings.setValue(RolloutIdKey, QStringLiteral("%1").arg(id, 16, 16, QLatin1Char('0')));
    });
    // Read back: a place that changed with every run would be no place.
    return written ? readRolloutId(layout) : 0;
}
