#include "updatesettings.h"

#include "transfer/transferengine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QUrl>

namespace {

const QStringList& proxySchemes()
{
    static const QStringList schemes { QStringLiteral("http"), QStringLiteral("https"),
        QStringLiteral("socks5h"), QStringLiteral("socks5") };
    return schemes;
}

constexpr qint64 MaxRateKiB = qint64(1) << 40;

} // namespace

UpdateSettings UpdateSettings::read(const QString& iniFile)
{
    UpdateSettings result;
    QSettings settings(iniFile, QSettings::IniFormat);

    settings.beginGroup(QStringLiteral("Channel"));
    const QString alpha = settings.value(QStringLiteral("alpha")).toString();
    const bool beta = settings.value(QStringLiteral("beta"), false).toBool();
    if (!alpha.isEmpty()) {
        result.channel = Alpha;
        result.alphaRevision = settings.value(QStringLiteral("alphaRevno"), 0).toInt();
    } else {
        result.channel = beta ? Beta : Stable;
    }
    settings.endGroup();

    settings.beginGroup(QStringLiteral("update"));
    result.proxy = settings.value(QStringLiteral("proxy"), QString()).toString();
    result.downloadConcurrency
        = settings.value(QStringLiteral("streams"), DefaultDownloadConcurrency).toInt();
    if (result.downloadConcurrency < 1)
        result.downloadConcurrency = DefaultDownloadConcurrency;
    const QString caFile = settings.value(QStringLiteral("cafile")).toString();
    if (!caFile.isEmpty())
        result.caFile = QFileInfo(QFileInfo(iniFile).dir(), caFile).filePath();
    const QString rate = settings.value(QStringLiteral("maxDownloadRate")).toString().trimmed();
    if (!rate.isEmpty()) {
        bool ok = false;
        result.maxDownloadRate = rate.toLongLong(&ok);
        if (!ok || result.maxDownloadRate < 0 || result.maxDownloadRate > MaxRateKiB)
            result.maxDownloadRate = -1;
    }
    result.updateServer = settings.value(QStringLiteral("updateServer")).toString().trimmed();
    settings.endGroup();
    return result;
}

bool UpdateSettings::updateServerAddress(QString* host, quint16* port, quint16 defaultPort) const
{
    if (updateServer.isEmpty())
        return false;
    // "host", "host:port", "[v6]:port": what a URL's authority holds.
    const QUrl url(QStringLiteral("udp://") + updateServer, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() || !url.path().isEmpty() || !url.userInfo().isEmpty()
        || url.port() == 0)
        return false;
    *host = url.host();
    *port = url.port() > 0 ? quint16(url.port()) : defaultPort;
    return true;
}

QString UpdateSettings::proxyError() const
{
    const QUrl url(proxy, QUrl::StrictMode);
    if (proxy.isEmpty()
        || (url.isValid() && !url.host().isEmpty() && proxySchemes().contains(url.scheme().toLower())))
        return QString();
    return QStringLiteral("'%1' is an invalid proxy specification").arg(displayedProxy());
}

QString UpdateSettings::displayedProxy() const
{
    // Whatever stands between the scheme and the last "@" is credentials,
    // also when the rest does not parse (a "/" in the password, say).
    static const QRegularExpression credentials(QStringLiteral("^([^:/@]*://)?.*@"));
    QString shown = proxy;
    return shown.replace(credentials, QStringLiteral("\\1***@"));
}

QString UpdateSettings::problem() const
{
    const QString proxyProblem = proxyError();
    if (!proxyProblem.isEmpty())
        return proxyProblem;
    if (!caFile.isEmpty() && !extraCertificates().contains("-----BEGIN CERTIFICATE-----"))
        return QStringLiteral("The certificate file %1 cannot be read or holds no PEM certificate")
            .arg(caFile);
    if (maxDownloadRate < 0)
        return QStringLiteral("maxDownloadRate in %1 must be a whole number of KiB/s (0: no limit)")
            .arg(QStringLiteral("update.ini"));
    QString host;
    quint16 port = 0;
    if (!updateServer.isEmpty() && !updateServerAddress(&host, &port, 1))
        return QStringLiteral("updateServer in %1 must be a host name or address, with a port if need be "
                              "(host:port)")
            .arg(QStringLiteral("update.ini"));
    return QString();
}

QByteArray UpdateSettings::extraCertificates() const
{
    QFile file(caFile);
    if (caFile.isEmpty() || !file.open(QIODevice::ReadOnly))
        return QByteArray();
    // A bundle, not a disk image: a few megabytes at most.
    return file.read(16 * 1024 * 1024);
}

void UpdateSettings::applyTo(TransferEngine* transfers) const
{
    QUrl url(proxy);
    // An HTTP proxy without a port is reached on the one proxies have long used.
    if (!proxy.isEmpty() && url.port() < 0 && url.scheme().toLower() == QLatin1String("http"))
        url.setPort(3128);
    transfers->setProxy(proxy.isEmpty() ? QString() : url.toString(QUrl::FullyEncoded));
    transfers->setExtraCertificates(extraCertificates());
    transfers->setMaxRate(maxDownloadRate * 1024);
}
