#include "update/bannerfetcher.h"

#include "serverquery/banner.h"
#include "transfer/transfer.h"
#include "transfer/transferengine.h"

#include <QUrl>

BannerFetcher::BannerFetcher(TransferEngine* transfers, QObject* parent)
    : QObject(parent)
    , transfers(transfers)
    , port(Banner::DefaultPort)
{ }

void BannerFetcher::setServer(const QString& host, quint16 port)
{
    this->host = host;
    this->port = port;
}

void BannerFetcher::fetch()
{
    if (transfer)
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
    if (transfer)
        drop();
    this->clickUrl = clickUrl;
    image.clear();
    transfer = transfers->get(url, this);
    // An error page is no banner, and neither is more than the limit.
    transfer->collectBody(&image, MaxBannerSize);
    connect(transfer, &Transfer::finished, this, &BannerFetcher::onDownloadFinished);
}

void BannerFetcher::drop()
{
    delete transfer;
    transfer = nullptr;
    image.clear();
}

void BannerFetcher::onDownloadFinished()
{
    if (!transfer)
        return;
    // A cut-off image is no banner either.
    const bool complete = transfer->succeeded();
    transfer->deleteLater();
    transfer = nullptr;
    if (complete)
        Q_EMIT bannerFound(std::exchange(image, QByteArray()), clickUrl);
}
