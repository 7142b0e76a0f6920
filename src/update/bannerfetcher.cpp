#include "update/bannerfetcher.h"

#include "serverquery/banner.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

BannerFetcher::BannerFetcher(QNetworkAccessManager* networkManager, QObject* parent)
    : QObject(parent)
    , networkManager(networkManager)
    , port(Banner::DefaultPort)
{ }

void BannerFetcher::setServer(const QString& host, quint16 port)
{
    this->host = host;
    this->port = port;
}

void BannerFetcher::fetch()
{
    if (reply)
        return;
    auto* banner = new Banner(this, host, port);
    connect(banner, &Banner::bannerFound, this, &BannerFetcher::onBannerFound);
    banner->run();
}

void BannerFetcher::onBannerFound(QString bannerUrl, QString clickUrl)
{
    const QUrl url(bannerUrl);
    // The address comes unauthenticated over UDP: fetch only web images.
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return;
    if (reply)
        drop();
    this->clickUrl = clickUrl;
    reply = networkManager->get(QNetworkRequest(url));
    connect(reply, &QNetworkReply::finished, this, &BannerFetcher::onDownloadFinished);
    connect(reply, &QNetworkReply::metaDataChanged, this, &BannerFetcher::onMetaDataChanged);
    connect(reply, &QNetworkReply::downloadProgress, this, &BannerFetcher::onDownloadProgress);
}

void BannerFetcher::drop()
{
    disconnect(reply, nullptr, this, nullptr);
    reply->abort();
    reply->deleteLater();
    reply = nullptr;
}

void BannerFetcher::onMetaDataChanged()
{
    if (!reply)
        return;
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > MaxBannerSize)
        drop();
}

void BannerFetcher::onDownloadProgress(qint64 received, qint64 total)
{
    Q_UNUSED(total);
    // An unannounced length must not let the banner grow without bound.
    if (reply && received > MaxBannerSize)
        drop();
}

void BannerFetcher::onDownloadFinished()
{
    if (!reply)
        return;
    // An error page or a cut-off image is no banner.
    const bool complete = reply->error() == QNetworkReply::NoError;
    const QByteArray data = reply->readAll();
    reply->deleteLater();
    reply = nullptr;
    if (complete)
        Q_EMIT bannerFound(data, clickUrl);
}
