#include "transfer/mirrors.h"

#include "transfer/mirrorsini.h"
#include "transfer/randomsource.h"

#include <QSettings>

namespace {

constexpr int ALPHA_RETRIES = 4;

} // namespace

Mirrors::Mirrors(QObject* parent)
    : QObject(parent)
{ }

bool Mirrors::initDefault(const QString& iniPath, int version)
{
    readMirrors(iniPath, version);
    return true;
}

bool Mirrors::initRoot(const QString& iniPath)
{
    readMirrors(iniPath, 0);
    return true;
}

void Mirrors::readMirrors(const QString& iniPath, int version)
{
    for (const MirrorsIni::Entry& entry : MirrorsIni::read(iniPath).entries) {
        FTPSiteAccessData mirror;
        mirror.name = entry.name;
        mirror.url = versionUrl(entry.url, version);
        mirror.retries = entry.retries;
        mirrorList.append(mirror);
    }
}

bool Mirrors::initAlpha(const QString& iniPath, int version)
{
    QSettings settings(iniPath, QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("Channel"));
    const QString alphaUrl = settings.value(QStringLiteral("alpha")).toString();
    settings.endGroup();
    if (alphaUrl.isEmpty()) {
        Q_EMIT fatalError(QStringLiteral("Alpha parameter in channel section in update ini file not found"));
        return false;
    }
    FTPSiteAccessData mirror;
    mirror.name = QStringLiteral("Alpha Channel");
    mirror.url = versionUrl(alphaUrl, version);
    mirror.retries = ALPHA_RETRIES;
    mirrorList.append(mirror);
    return true;
}

int Mirrors::getRandomMirror(FTPSiteAccessData& mirror, const QSet<QString>& skipped)
{
    if (mirrorList.isEmpty()) {
        if (!noMirrorsReported) {
            Q_EMIT message(tr("There are no (more) known working mirrors available"));
            noMirrorsReported = true;
        }
        return NoMirrorAvailable;
    }
    // A mirror whose connection stopped being HTTP/2 may still carry more
    // transfers than it now takes: it has no free place, not a negative one.
    const auto freePlaces = [&skipped](const FTPSiteAccessData& candidate) {
        return skipped.contains(candidate.name) ? 0 : qMax(0, candidate.maxUseCount - candidate.useCount);
    };
    qint64 free = 0;
    bool anyCandidate = false;
    for (const FTPSiteAccessData& candidate : std::as_const(mirrorList)) {
        free += freePlaces(candidate);
        anyCandidate = anyCandidate || !skipped.contains(candidate.name);
    }
    if (!anyCandidate)
        return NoMirrorAvailable;
    if (free == 0)
        return AllMirrorsBusy;

    qint64 slot = RandomSource::bounded(static_cast<quint32>(free));
    for (FTPSiteAccessData& candidate : mirrorList) {
        slot -= freePlaces(candidate);
        if (slot < 0) {
            ++candidate.useCount;
            mirror = candidate;
            return MirrorChosen;
        }
    }
    return NoMirrorAvailable;
}

int Mirrors::getNamedMirror(const QString& name, FTPSiteAccessData& mirror)
{
    const int index = getMirrorIndex(name);
    if (index < 0)
        return NoMirrorAvailable;
    FTPSiteAccessData& candidate = mirrorList[index];
    if (candidate.useCount >= candidate.maxUseCount)
        return AllMirrorsBusy;
    ++candidate.useCount;
    mirror = candidate;
    return MirrorChosen;
}

void Mirrors::releaseMirror(const QString& name)
{
    const int index = getMirrorIndex(name);
    if (index >= 0)
        --mirrorList[index].useCount;
    // Also for a removed mirror: a waiting download learns that none is left.
    Q_EMIT mirrorFreed();
}

void Mirrors::setMultiplexed(const QString& name, bool multiplexed)
{
    const int index = getMirrorIndex(name);
    if (index < 0)
        return;
    const int limit = multiplexed ? MULTIPLEXED_USE_COUNT : 1;
    const int previous = std::exchange(mirrorList[index].maxUseCount, limit);
    if (limit > previous)
        Q_EMIT mirrorFreed();
}

int Mirrors::multiplexedMirrorCount() const
{
    int count = 0;
    for (const FTPSiteAccessData& mirror : mirrorList)
        count += mirror.maxUseCount > 1 ? 1 : 0;
    return count;
}

void Mirrors::addMirrorError(const QString& name)
{
    const int index = getMirrorIndex(name);
    if (index < 0)
        return;
    FTPSiteAccessData& mirror = mirrorList[index];
    ++mirror.errorCount;
    if (mirror.errorCount <= mirror.retries)
        return;
    Q_EMIT message(tr("Mirror %1 failed too many times, removing").arg(mirror.name));
    mirrorList.remove(index);
}

void Mirrors::removeMirror(const QString& name)
{
    const int index = getMirrorIndex(name);
    if (index >= 0)
        mirrorList.remove(index);
}

int Mirrors::getMirrorIndex(const QString& name) const
{
    for (int i = 0; i < mirrorList.size(); ++i) {
        if (mirrorList.at(i).name == name)
            return i;
    }
    return -1;
}

void Mirrors::calcUseStats(int& capacity, int& inUse) const
{
    capacity = 0;
    inUse = 0;
    for (const FTPSiteAccessData& mirror : mirrorList) {
        capacity += mirror.maxUseCount;
        inUse += mirror.useCount;
    }
}

QString Mirrors::versionUrl(QString url, int version)
{
    if (url.endsWith(QLatin1Char('/')))
        url.chop(1);
    return version == 0 ? url : url + QLatin1Char('/') + QString::number(version);
}

QUrl Mirrors::fileUrl(const QString& directoryUrl, const QString& path)
{
    // The path names a file: "#", "?" and "%" in it are part of the name, not
    // URL syntax, so they are sent percent-encoded like every other character
    // that a URL path cannot carry as it is.
    const QByteArray encoded = QUrl::toPercentEncoding(path, QByteArrayLiteral("/!$&'()*+,;=:@[]"));
    return QUrl(directoryUrl + QLatin1Char('/') + QString::fromLatin1(encoded));
}
