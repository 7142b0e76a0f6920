#ifndef BANNERFETCHER_H
#define BANNERFETCHER_H

#include "buildconfig.h"

#include <QByteArray>
#include <QObject>
#include <QString>

class Transfer;
class TransferEngine;

// Asks the update server where the banner is (the UDP banner query) and
// downloads its image, at most MaxBannerSize bytes, through the transfer
// engine that carries every download, so that the proxy applies.
class BannerFetcher : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 MaxBannerSize = 270000;

    BannerFetcher(TransferEngine* transfers, QObject* parent);

    // Where the banner query is sent; the built-in update server by default.
    void setServer(const QString& host, quint16 port);
    // Starts the query; does nothing while an image is being downloaded.
    void fetch();

Q_SIGNALS:
    void bannerFound(QByteArray bannerImage, QString clickUrl);

private Q_SLOTS:
    void onBannerFound(QString bannerUrl, QString clickUrl);
    void onDownloadFinished();

private:
    void drop();

    TransferEngine* transfers;
    QString host = QStringLiteral(VOXMEADOW_UPDATE_HOST);
    quint16 port;
    QString clickUrl;
    Transfer* transfer = nullptr;
    QByteArray image;
};

#endif
