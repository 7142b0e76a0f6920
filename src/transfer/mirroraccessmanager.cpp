#include "transfer/mirroraccessmanager.h"

#include "transfer/plainhttpreply.h"

#include <QNetworkProxy>
#include <QTcpSocket>

namespace {

QString serverKey(const QString& host, quint16 port)
{
    return host + QLatin1Char(':') + QString::number(port);
}

} // namespace

MirrorAccessManager::MirrorAccessManager(QObject* parent)
    : QNetworkAccessManager(parent)
{
    // A mirror that redirects has failed; and it is reached directly unless
    // a proxy is set explicitly.
    setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

QNetworkReply* MirrorAccessManager::createRequest(
    Operation op, const QNetworkRequest& request, QIODevice* outgoingData)
{
    if (!servesItself(op, request, outgoingData))
        return QNetworkAccessManager::createRequest(op, request, outgoingData);
    return new PlainHttpReply(request, this);
}

bool MirrorAccessManager::servesItself(
    Operation op, const QNetworkRequest& request, QIODevice* outgoingData) const
{
    const QUrl url = request.url();
    if (op != GetOperation || outgoingData || url.scheme() != QLatin1String("http") || url.host().isEmpty()
        || !url.userInfo().isEmpty())
        return false;
    // Features of the general layer that these replies do not offer.
    if (proxy().type() != QNetworkProxy::NoProxy || proxyFactory() || cache() || autoDeleteReplies()
        || transferTimeout() > 0)
        return false;
    const QVariant policy = request.attribute(QNetworkRequest::RedirectPolicyAttribute);
    const int effective = policy.isValid() ? policy.toInt() : int(redirectPolicy());
    return effective == QNetworkRequest::ManualRedirectPolicy;
}

QTcpSocket* MirrorAccessManager::takeConnection(const QString& host, quint16 port)
{
    auto found = idle.find(serverKey(host, port));
    if (found == idle.end())
        return nullptr;
    while (!found->isEmpty()) {
        QTcpSocket* socket = found->takeLast();
        socket->disconnect(this);
        // A server that closed or wrote while idle is not to be trusted with
        // the next response.
        if (socket->state() == QAbstractSocket::ConnectedState && socket->bytesAvailable() == 0)
            return socket;
        socket->deleteLater();
    }
    return nullptr;
}

void MirrorAccessManager::keepConnection(const QString& host, quint16 port, QTcpSocket* socket)
{
    QList<QTcpSocket*>& list = idle[serverKey(host, port)];
    if (list.size() >= MAX_IDLE_PER_SERVER) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    socket->setParent(this);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { dropIdle(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { dropIdle(socket); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket] { dropIdle(socket); });
    list.append(socket);
}

void MirrorAccessManager::dropIdle(QTcpSocket* socket)
{
    for (auto it = idle.begin(); it != idle.end(); ++it) {
        if (it->removeOne(socket)) {
            socket->disconnect(this);
            socket->abort();
            socket->deleteLater();
            return;
        }
    }
}
