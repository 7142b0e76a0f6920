#include "updateserver.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

UpdateServer::UpdateServer(const Answers& answers, QObject* parent)
    : QObject(parent)
    , answers(answers)
    , versionSocket(new QUdpSocket(this))
{
    connect(versionSocket, &QUdpSocket::readyRead, this, &UpdateServer::onVersionDatagram);
}

bool UpdateServer::listen(const QHostAddress& address, quint16 versionPort, int bannerPort)
{
    if (!versionSocket->bind(address, versionPort)) {
        error = QStringLiteral("cannot listen on %1 port %2: %3")
                    .arg(address.toString()).arg(versionPort).arg(versionSocket->errorString());
        return false;
    }
    if (bannerPort < 0)
        return true;
    bannerSocket = new QUdpSocket(this);
    connect(bannerSocket, &QUdpSocket::readyRead, this, &UpdateServer::onBannerDatagram);
    if (!bannerSocket->bind(address, quint16(bannerPort))) {
        error = QStringLiteral("cannot listen on %1 port %2: %3")
                    .arg(address.toString()).arg(bannerPort).arg(bannerSocket->errorString());
        return false;
    }
    return true;
}

quint16 UpdateServer::versionPort() const
{
    return versionSocket->localPort();
}

quint16 UpdateServer::bannerPort() const
{
    return bannerSocket ? bannerSocket->localPort() : 0;
}

QByteArray UpdateServer::encode(const QString& text, int limit)
{
    // The updater reads up to the first NUL, so one ends every answer.
    return text.toLatin1().left(limit) + '\0';
}

void UpdateServer::onVersionDatagram()
{
    while (versionSocket->hasPendingDatagrams()) {
        const QNetworkDatagram request = versionSocket->receiveDatagram(64);
        const QByteArray data = request.data();
        QByteArray answer;
        QString what;
        if (data.startsWith("3")) {
            answer = encode(answers.versions, MaxVersionsSize);
            what = QStringLiteral("versions");
        } else if (data.startsWith("*")) {
            answer = encode(answers.news, MaxNewsSize);
            what = QStringLiteral("news");
        } else {
            Q_EMIT served(QStringLiteral("ignored an unknown request from %1").arg(request.senderAddress().toString()));
            continue;
        }
        versionSocket->writeDatagram(request.makeReply(answer));
        Q_EMIT served(QStringLiteral("sent the %1 to %2").arg(what, request.senderAddress().toString()));
    }
}

void UpdateServer::onBannerDatagram()
{
    while (bannerSocket->hasPendingDatagrams()) {
        const QNetworkDatagram request = bannerSocket->receiveDatagram(64);
        if (request.data() != QByteArray("\x01\x01", 2)) {
            Q_EMIT served(QStringLiteral("ignored an unknown banner request from %1").arg(request.senderAddress().toString()));
            continue;
        }
        // The updater reads at most 1024 bytes and wants exactly one comma.
        const QByteArray answer = (answers.bannerUrl + QLatin1Char(',') + answers.clickUrl).toLatin1().left(1024);
        bannerSocket->writeDatagram(request.makeReply(answer));
        Q_EMIT served(QStringLiteral("sent the banner address to %1").arg(request.senderAddress().toString()));
    }
}
