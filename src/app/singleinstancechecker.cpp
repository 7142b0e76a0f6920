#include "app/singleinstancechecker.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

const int ProbeTimeoutMs = 1000;

} // namespace

SingleInstanceChecker::SingleInstanceChecker(QObject* parent, const QString& serverName)
    : QObject(parent)
    , server(new QLocalServer(this))
    , client(nullptr)
{
    connect(server, &QLocalServer::newConnection, this, &SingleInstanceChecker::onNewConnection);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    listen(serverName);
}

SingleInstanceChecker::~SingleInstanceChecker()
{
    server->close();
    delete client;
}

void SingleInstanceChecker::listen(const QString& serverName)
{
    // A live updater keeps its name. The check comes first because a
    // user-restricted server is set up in a private directory and then
    // renamed into place, which would silently replace a live socket.
    QLocalSocket probe;
    probe.connectToServer(serverName);
    if (probe.waitForConnected(ProbeTimeoutMs))
        return;
    probe.abort();

    if (server->listen(serverName))
        return;
    // The name is taken by a socket nobody accepts on: an updater died
    // without closing it. Claim the name.
    if (server->serverError() == QAbstractSocket::AddressInUseError) {
        QLocalServer::removeServer(serverName);
        server->listen(serverName);
    }
}

bool SingleInstanceChecker::isListening() const
{
    return server->isListening();
}

void SingleInstanceChecker::onNewConnection()
{
    dropClient();
    client = server->nextPendingConnection();
    if (client)
        connect(client, &QLocalSocket::readyRead, this, &SingleInstanceChecker::onReadyRead);
}

void SingleInstanceChecker::onReadyRead()
{
    if (!client)
        return;
    const QByteArray data = client->readAll();
    const int end = data.indexOf('\0');
    const QString message = QString::fromLatin1(end >= 0 ? data.left(end) : data);
    // The socket is the sender of this very signal, so it is released later.
    dropClient();
    Q_EMIT otherInstanceActivate(message);
}

void SingleInstanceChecker::dropClient()
{
    if (!client)
        return;
    client->disconnect(this);
    client->deleteLater();
    client = nullptr;
}

bool SingleInstanceChecker::checkExistingInstance(const QString& message, const QString& serverName)
{
    QLocalSocket socket;
    socket.connectToServer(serverName, QIODevice::ReadWrite);
    if (!socket.waitForConnected(ProbeTimeoutMs))
        return false;
    if (socket.write(message.toLatin1()) <= 0)
        return false;
    return socket.waitForBytesWritten(ProbeTimeoutMs);
}

QString SingleInstanceChecker::getLocalServerName()
{
    return getLocalServerName(QCoreApplication::applicationFilePath(), QDir::homePath());
}

QString SingleInstanceChecker::getLocalServerName(const QString& applicationFilePath, const QString& homePath)
{
    QString s = applicationFilePath.toLower() + homePath;
    s.remove(QLatin1Char('/'));
    s.remove(QLatin1Char(':'));
    const quint16 checksum = qChecksum(QByteArrayView(s.toUtf8()), Qt::ChecksumIso3309);
    return QStringLiteral("VX3ClientUpdate") + QString::number(checksum, 16);
}
