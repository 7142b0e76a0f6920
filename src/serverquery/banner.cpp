#include "banner.h"

#include <QHostInfo>
#include <QTimerEvent>
#include <QUdpSocket>

namespace {
const QByteArray bannerRequest("\x01\x01", 2);
constexpr qint64 maxAnswerSize = 1024;
} // namespace

Banner::Banner(QObject* parent, const QString& host, quint16 port, int answerTimeoutMs)
    : QObject(parent)
    , socket(new QUdpSocket(this))
    , retryCount(0)
    , host(host)
    , port(port)
    , answerTimeoutMs(answerTimeoutMs)
{
    socket->bind(0);
    connect(socket, &QUdpSocket::readyRead, this, &Banner::onReadyRead);
    connect(socket, &QUdpSocket::errorOccurred, this, &Banner::onError);
}

void Banner::run()
{
    QHostInfo::lookupHost(host, this, &Banner::onResolved);
}

void Banner::onResolved(const QHostInfo& hostInfo)
{
    if (hostInfo.error() != QHostInfo::NoError || hostInfo.addresses().isEmpty())
        return;
    serverAddress.clear();
    for (const QHostAddress& address : hostInfo.addresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            serverAddress = address;
            break;
        }
    }
    if (serverAddress.isNull())
        return;
    // Connected, the socket only receives datagrams from the server asked;
    // an answer forged from another address or port is dropped unread.
    socket->connectToHost(serverAddress, port);
    if (socket->state() == QAbstractSocket::ConnectedState)
        sendRequest();
    else
        connect(socket, &QUdpSocket::connected, this, &Banner::sendRequest, Qt::SingleShotConnection);
}

void Banner::sendRequest()
{
    if (socket->write(bannerRequest) == -1) {
        timer.stop();
        return;
    }
    timer.start(answerTimeoutMs, this);
}

void Banner::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == timer.timerId()) {
        const int previousTimeouts = retryCount++;
        if (previousTimeouts > 0)
            timer.stop();
        else
            sendRequest();
    }
    QObject::timerEvent(event);
}

void Banner::onReadyRead()
{
    timer.stop();
    // One answer ends the exchange; a late answer to the repeated request
    // must not announce the banner a second time.
    disconnect(socket, &QUdpSocket::readyRead, this, &Banner::onReadyRead);
    char buffer[maxAnswerSize];
    const qint64 size = socket->readDatagram(buffer, sizeof(buffer));
    if (size < 0)
        return;
    QString bannerUrl;
    QString clickUrl;
    if (parseAnswer(QByteArray(buffer, int(size)), &bannerUrl, &clickUrl))
        Q_EMIT bannerFound(bannerUrl, clickUrl);
}

bool Banner::parseAnswer(const QByteArray& datagram, QString* bannerUrl, QString* clickUrl)
{
    const QStringList parts = QString::fromLatin1(datagram).split(QLatin1Char(','), Qt::KeepEmptyParts);
    if (parts.size() != 2)
        return false;
    *bannerUrl = parts.at(0);
    *clickUrl = parts.at(1);
    return true;
}

void Banner::onError(QAbstractSocket::SocketError socketError)
{
    Q_UNUSED(socketError);
    timer.stop();
}
