#include "httptestserver.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

HttpTestServer::Response HttpTestServer::Response::ok(const QByteArray& body)
{
    Response response;
    response.body = body;
    return response;
}

HttpTestServer::Response HttpTestServer::Response::withStatus(int status)
{
    Response response;
    response.status = status;
    response.body = reasonPhrase(status);
    return response;
}

HttpTestServer::Response HttpTestServer::Response::redirect(const QByteArray& location)
{
    Response response = withStatus(302);
    response.headers.append({ "Location", location });
    return response;
}

HttpTestServer::HttpTestServer(QObject* parent)
    : QObject(parent)
    , handler([](const QByteArray&) { return Response::withStatus(404); })
{
    connect(&server, &QTcpServer::newConnection, this, &HttpTestServer::onNewConnection);
}

HttpTestServer::~HttpTestServer()
{
    for (Connection* connection : std::as_const(connections)) {
        if (connection->socket) {
            connection->socket->disconnect(this);
            connection->socket->abort();
        }
        delete connection;
    }
}

bool HttpTestServer::listen()
{
    return server.listen(QHostAddress::LocalHost, 0);
}

quint16 HttpTestServer::port() const
{
    return server.serverPort();
}

QString HttpTestServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port());
}

void HttpTestServer::setResponse(const QByteArray& path, const Response& response)
{
    responses.insert(path, response);
}

void HttpTestServer::clearResponse(const QByteArray& path)
{
    responses.remove(path);
}

void HttpTestServer::setHandler(Handler newHandler)
{
    handler = std::move(newHandler);
}

int HttpTestServer::requestCount() const
{
    return paths.size();
}

int HttpTestServer::requestCount(const QByteArray& path) const
{
    return static_cast<int>(paths.count(path));
}

QList<QByteArray> HttpTestServer::requestedPaths() const
{
    return paths;
}

int HttpTestServer::openConnections() const
{
    int open = 0;
    for (const Connection* connection : connections) {
        if (connection->socket && connection->socket->state() == QAbstractSocket::ConnectedState)
            ++open;
    }
    return open;
}

void HttpTestServer::releaseStalled()
{
    for (Connection* connection : std::as_const(connections)) {
        if (connection->stalled && connection->socket) {
            connection->stalled = false;
            connection->response.stallAfter = -1;
            if (connection->dripTimer)
                connection->dripTimer->start();
            sendBody(*connection);
        }
    }
}

void HttpTestServer::drip()
{
    for (Connection* connection : std::as_const(connections)) {
        if (connection->socket && connection->answered && connection->response.dripChunk > 0
            && connection->response.dripIntervalMs <= 0)
            sendBody(*connection);
    }
}

qint64 HttpTestServer::bodyBytesSent() const
{
    qint64 total = 0;
    for (const Connection* connection : connections)
        total += connection->sent;
    return total;
}

void HttpTestServer::onNewConnection()
{
    while (QTcpSocket* socket = server.nextPendingConnection()) {
        auto* connection = new Connection;
        connection->socket = socket;
        connections.append(connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void HttpTestServer::onReadyRead(QTcpSocket* socket)
{
    Connection* connection = connectionFor(socket);
    if (!connection || connection->answered) {
        socket->readAll();
        return;
    }
    connection->requestHead += socket->readAll();
    const int end = connection->requestHead.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QByteArray requestLine = connection->requestHead.left(connection->requestHead.indexOf("\r\n"));
    const QList<QByteArray> parts = requestLine.split(' ');
    const QByteArray path = parts.size() >= 2 ? parts.at(1) : QByteArray();
    connection->answered = true;
    paths.append(path);
    heads.append(connection->requestHead.left(end));
    Q_EMIT requestReceived(path);
    answer(*connection, path);
}

void HttpTestServer::answer(Connection& connection, const QByteArray& path)
{
    connection.response = responses.contains(path) ? responses.value(path) : handler(path);
    const Response& response = connection.response;

    QByteArray head
        = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    head += "Connection: close\r\n";
    if (response.sendContentLength) {
        const qint64 length = response.announcedLength >= 0 ? response.announcedLength : response.body.size();
        head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    }
    if (response.status == 401)
        head += "WWW-Authenticate: Basic realm=\"test\"\r\n";
    for (const auto& header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    head += "\r\n";
    connection.socket->write(head);

    if (response.endless && response.dripChunk <= 0) {
        QTcpSocket* socket = connection.socket;
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            if (Connection* c = connectionFor(socket))
                sendBody(*c);
        });
    }
    if (response.dripChunk > 0 && response.dripIntervalMs > 0) {
        connection.dripTimer = new QTimer(connection.socket);
        connection.dripTimer->setInterval(response.dripIntervalMs);
        QTcpSocket* socket = connection.socket;
        connect(connection.dripTimer, &QTimer::timeout, this, [this, socket] {
            if (Connection* c = connectionFor(socket))
                sendBody(*c);
        });
        connection.dripTimer->start();
    }
    sendBody(connection);
}

void HttpTestServer::sendBody(Connection& connection)
{
    if (!connection.socket || connection.stalled)
        return;
    const Response& response = connection.response;
    if (response.endless) {
        // Keep a little queued, so that memory stays flat however long it runs.
        while (!response.body.isEmpty() && connection.socket->bytesToWrite() < 256 * 1024) {
            const qint64 count = response.dripChunk > 0 ? response.dripChunk : response.body.size();
            const qint64 offset = connection.sent % response.body.size();
            const QByteArray piece
                = (response.body + response.body).mid(offset, qMin(count, response.body.size()));
            connection.socket->write(piece);
            connection.sent += piece.size();
            if (response.dripChunk > 0)
                return;
        }
        return;
    }
    qint64 limit = response.body.size();
    if (response.closeAfter >= 0)
        limit = qMin(limit, response.closeAfter);
    if (response.stallAfter >= 0)
        limit = qMin(limit, response.stallAfter);
    qint64 count = limit - connection.sent;
    if (response.dripChunk > 0)
        count = qMin<qint64>(count, response.dripChunk);
    if (count > 0) {
        connection.socket->write(response.body.constData() + connection.sent, count);
        connection.sent += count;
    }
    if (connection.sent < limit)
        return;
    if (response.stallAfter >= 0 && connection.sent == response.stallAfter
        && (response.closeAfter < 0 || response.closeAfter > response.stallAfter)
        && connection.sent < response.body.size()) {
        connection.stalled = true;
        if (connection.dripTimer)
            connection.dripTimer->stop();
        return;
    }
    finishConnection(connection);
}

void HttpTestServer::finishConnection(Connection& connection)
{
    if (connection.dripTimer)
        connection.dripTimer->stop();
    connection.socket->disconnectFromHost();
}

HttpTestServer::Connection* HttpTestServer::connectionFor(QTcpSocket* socket)
{
    for (Connection* connection : std::as_const(connections)) {
        if (connection->socket == socket)
            return connection;
    }
    return nullptr;
}

QByteArray HttpTestServer::reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 302: return "Found";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}
