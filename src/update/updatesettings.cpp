#include "updatesettings.h"

#include <QSettings>
#include <QUrl>

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
    settings.endGroup();
    return result;
}

QString UpdateSettings::proxyError() const
{
    const QUrl url(proxy);
    if (proxy.isEmpty() || (url.isValid() && !url.host().isEmpty()))
        return QString();
    return QStringLiteral("'%1' is an invalid proxy specification").arg(proxy);
}
