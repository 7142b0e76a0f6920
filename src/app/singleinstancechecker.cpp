#include "app/singleinstancechecker.h"

#include "app/instancelock.h"
#include "app/privateruntimedirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace {

const int ProbeTimeoutMs = 1000;
const int HandOverPollMs = 20;

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

bool SingleInstanceChecker::claim(
    InstanceLock& lock, const QString& message, const QString& serverName, int handOverMs)
{
    if (!lock.isUsable())
        return !checkExistingInstance(message, serverName);
    // The holder listens only a moment after it took the lock.
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        if (lock.tryLock())
            return true;
        if (checkExistingInstance(message, serverName) || waited.hasExpired(handOverMs))
            return false;
        QThread::msleep(HandOverPollMs);
    }
}

QString SingleInstanceChecker::getLocalServerPath()
{
    const QString dir = PrivateRuntimeDirectory::locate();
    return dir.isEmpty() ? getLocalServerName() : dir + QLatin1Char('/') + getLocalServerName();
}

QString SingleInstanceChecker::getLockFilePath()
{
    const QString dir = PrivateRuntimeDirectory::locate();
    return dir.isEmpty() ? QString()
                         : dir + QLatin1Char('/') + getLocalServerName() + QStringLiteral(".lock");
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
