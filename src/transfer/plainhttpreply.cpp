#include "transfer/plainhttpreply.h"

#include "transfer/mirroraccessmanager.h"

#include <QNetworkProxy>
#include <QTcpSocket>

#include <cstring>

namespace {

// What the socket buffers ahead of the reply; bounds memory per connection.
constexpr qint64 SOCKET_BUFFER = 256 * 1024;

QNetworkReply::NetworkError errorForStatus(int code)
{
    switch (code) {
    case 401: return QNetworkReply::AuthenticationRequiredError;
    case 403: return QNetworkReply::ContentAccessDenied;
    case 404: return QNetworkReply::ContentNotFoundError;
    case 405: return QNetworkReply::ContentOperationNotPermittedError;
    case 407: return QNetworkReply::ProxyAuthenticationRequiredError;
    case 409: return QNetworkReply::ContentConflictError;
    case 410: return QNetworkReply::ContentGoneError;
    case 500: return QNetworkReply::InternalServerError;
    case 501: return QNetworkReply::OperationNotImplementedError;
    case 503: return QNetworkReply::ServiceUnavailableError;
    default: return code < 500 ? QNetworkReply::UnknownContentError : QNetworkReply::UnknownServerError;
    }
}

QNetworkReply::NetworkError errorForSocket(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError: return QNetworkReply::ConnectionRefusedError;
    case QAbstractSocket::RemoteHostClosedError: return QNetworkReply::RemoteHostClosedError;
    case QAbstractSocket::HostNotFoundError: return QNetworkReply::HostNotFoundError;
    case QAbstractSocket::SocketTimeoutError: return QNetworkReply::TimeoutError;
    default: return QNetworkReply::UnknownNetworkError;
    }
}

bool isDigits(const QByteArray& text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// Whether the comma-separated header value lists `token`.
bool listsToken(const QByteArray& value, const char* token)
{
    for (const QByteArray& part : value.split(',')) {
        if (part.trimmed().compare(token, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

PlainHttpReply::PlainHttpReply(const QNetworkRequest& request, MirrorAccessManager* manager)
    : QNetworkReply(manager)
    , manager(manager)
    , host(request.url().host())
    , port(quint16(request.url().port(80)))
{
    setRequest(request);
    setUrl(request.url());
    setOperation(QNetworkAccessManager::GetOperation);
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    // Callers connect after get() returns: nothing may happen before that.
    QMetaObject::invokeMethod(this, &PlainHttpReply::start, Qt::QueuedConnection);
}

PlainHttpReply::~PlainHttpReply()
{
    if (socket) {
        socket->disconnect(this);
        delete socket;
    }
}

void PlainHttpReply::start()
{
    if (isFinished())
        return;
    socket = manager ? manager->takeConnection(host, port) : nullptr;
    if (!socket) {
        openConnection();
        return;
    }
    reused = true;
    socket->setParent(this);
    listenToSocket();
    sendRequest();
}

void PlainHttpReply::listenToSocket()
{
    connect(socket, &QTcpSocket::readyRead, this, &PlainHttpReply::pump);
    connect(socket, &QTcpSocket::errorOccurred, this, &PlainHttpReply::onSocketError);
    connect(socket, &QTcpSocket::disconnected, this, &PlainHttpReply::onPeerClosed);
}

void PlainHttpReply::openConnection()
{
    reused = false;
    peerClosed = false;
    phase = Connecting;
    socket = new QTcpSocket(this);
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->setReadBufferSize(SOCKET_BUFFER);
    connect(socket, &QTcpSocket::connected, this, [this] {
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        sendRequest();
    });
    listenToSocket();
    socket->connectToHost(host, port);
}

void PlainHttpReply::sendRequest()
{
    const QUrl address = url();
    QByteArray target = address.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (address.hasQuery())
        target += '?' + address.query(QUrl::FullyEncoded).toLatin1();

    QByteArray head
        = "GET " + target + " HTTP/1.1\r\nHost: " + address.authority(QUrl::FullyEncoded).toLatin1() + "\r\n";
    const QNetworkRequest& asked = request();
    for (const QByteArray& name : asked.rawHeaderList()) {
        if (name.compare("Host", Qt::CaseInsensitive) == 0
            || name.compare("Connection", Qt::CaseInsensitive) == 0)
            continue;
        head += name + ": " + asked.rawHeader(name) + "\r\n";
    }
    if (!asked.hasRawHeader("User-Agent"))
        head += "User-Agent: Mozilla/5.0\r\n";
    head += "Connection: keep-alive\r\n\r\n";
    phase = StatusLine;
    socket->write(head);
}

void PlainHttpReply::pump()
{
    pumpQueued = false;
    if (!socket || isFinished())
        return;
    newData = false;
    Step result = Advanced;
    while (result == Advanced)
        result = step();
    if (result == Stopped)
        return;
    if (newData) {
        Q_EMIT readyRead();
        if (isFinished())
            return;
        Q_EMIT downloadProgress(received, total);
        if (isFinished())
            return;
    }
    if (phase == Done) {
        complete();
        return;
    }
    // Closed, and nothing the socket still holds can complete a step: bytes
    // are left there only while the reader has not made room for them.
    if (peerClosed && (!paused || socket->bytesAvailable() == 0))
        endOfConnection();
}

PlainHttpReply::Step PlainHttpReply::step()
{
    QByteArray line;
    switch (phase) {
    case Connecting:
    case Done: return NeedMore;
    case StatusLine: {
        const Step got = readLine(line, MAX_HEADER_BYTES - headerBytes);
        if (got != Advanced)
            return got;
        // Some servers end a body with a spare line end; it belongs to no response.
        if (line.isEmpty() && statusCode == 0)
            return Advanced;
        return parseStatusLine(line);
    }
    case Headers:
    case Trailer: {
        const Step got = readLine(line, MAX_HEADER_BYTES - headerBytes);
        if (got != Advanced)
            return got;
        if (phase == Headers)
            return line.isEmpty() ? headersComplete() : parseHeaderLine(line);
        if (line.isEmpty())
            phase = Done;
        return Advanced;
    }
    case ChunkSize: {
        const Step got = readLine(line, 1024);
        return got == Advanced ? parseChunkSize(line) : got;
    }
    case ChunkEnd: {
        const Step got = readLine(line, 2);
        if (got != Advanced)
            return got;
        if (!line.isEmpty()) {
            protocolFailure(QStringLiteral("chunk not followed by a line end"));
            return Stopped;
        }
        phase = ChunkSize;
        return Advanced;
    }
    case Body:
    case ChunkData: return moveBody();
    }
    return NeedMore;
}

PlainHttpReply::Step PlainHttpReply::readLine(QByteArray& line, qint64 budget)
{
    // A piece of a line is taken out of the socket rather than left there:
    // the socket reports new data again only once it has been emptied.
    if (!socket->canReadLine()) {
        partialLine += socket->readAll();
        if (partialLine.size() >= budget) {
            protocolFailure(QStringLiteral("line too long"));
            return Stopped;
        }
        return NeedMore;
    }
    line = partialLine + socket->readLine(budget - partialLine.size() + 1);
    partialLine.clear();
    if (!line.endsWith('\n')) {
        protocolFailure(QStringLiteral("line too long"));
        return Stopped;
    }
    if (phase == StatusLine || phase == Headers || phase == Trailer)
        headerBytes += line.size();
    line.chop(line.endsWith("\r\n") ? 2 : 1);
    return Advanced;
}

PlainHttpReply::Step PlainHttpReply::parseStatusLine(const QByteArray& line)
{
    // "HTTP/1.x NNN reason"
    if (line.size() < 12 || !line.startsWith("HTTP/1.") || line[8] != ' ' || !isDigits(line.mid(9, 3))
        || (line.size() > 12 && line[12] != ' ')) {
        protocolFailure(QStringLiteral("invalid status line"));
        return Stopped;
    }
    http10 = line[7] == '0';
    statusCode = line.mid(9, 3).toInt();
    reasonPhrase = line.mid(13);
    headers.clear();
    phase = Headers;
    return Advanced;
}

PlainHttpReply::Step PlainHttpReply::parseHeaderLine(const QByteArray& line)
{
    if ((line[0] == ' ' || line[0] == '\t') && !headers.isEmpty()) {
        // An obsolete continuation of the previous header's value.
        headers.last().second += ' ' + line.trimmed();
        return Advanced;
    }
    const qsizetype colon = line.indexOf(':');
    const QByteArray name = colon > 0 ? line.left(colon) : QByteArray();
    if (name.isEmpty() || name.contains(' ') || name.contains('\t')) {
        protocolFailure(QStringLiteral("invalid header line"));
        return Stopped;
    }
    const QByteArray value = line.mid(colon + 1).trimmed();
    for (auto& known : headers) {
        if (known.first.compare(name, Qt::CaseInsensitive) == 0) {
            // Two different lengths leave the end of the body unknowable.
            if (name.compare("Content-Length", Qt::CaseInsensitive) == 0 && known.second != value) {
                protocolFailure(QStringLiteral("conflicting Content-Length"));
                return Stopped;
            }
            if (known.second != value)
                known.second += ", " + value;
            return Advanced;
        }
    }
    headers.append({ name, value });
    return Advanced;
}

PlainHttpReply::Step PlainHttpReply::headersComplete()
{
    if (statusCode >= 100 && statusCode < 200) {
        // An interim response; the real one follows.
        if (statusCode == 101) {
            protocolFailure(QStringLiteral("unexpected protocol switch"));
            return Stopped;
        }
        phase = StatusLine;
        return Advanced;
    }
    QByteArray length;
    bool lengthGiven = false;
    QByteArray coding;
    QByteArray connection;
    for (const auto& header : headers) {
        if (header.first.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            length = header.second;
            lengthGiven = true;
        } else if (header.first.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0)
            coding = header.second;
        else if (header.first.compare("Connection", Qt::CaseInsensitive) == 0)
            connection = header.second;
    }
    keepAlive = http10 ? listsToken(connection, "keep-alive") : !listsToken(connection, "close");
    if (statusCode == 204 || statusCode == 304) {
        bodyMode = NoBody;
    } else if (!coding.isEmpty()) {
        // A length beside a transfer coding is meaningless, and a connection
        // that carried both is not used again.
        bodyMode = coding.split(',').last().trimmed().compare("chunked", Qt::CaseInsensitive) == 0
            ? ChunkedBody
            : UntilCloseBody;
        keepAlive = keepAlive && !lengthGiven && bodyMode == ChunkedBody;
    } else if (lengthGiven) {
        bool ok = false;
        remaining = length.toLongLong(&ok);
        if (!ok || !isDigits(length)) {
            protocolFailure(QStringLiteral("invalid Content-Length"));
            return Stopped;
        }
        total = remaining;
        bodyMode = remaining > 0 ? LengthBody : NoBody;
    } else {
        bodyMode = UntilCloseBody;
        keepAlive = false;
    }

    setAttribute(QNetworkRequest::HttpStatusCodeAttribute, statusCode);
    setAttribute(QNetworkRequest::HttpReasonPhraseAttribute, reasonPhrase);
    for (const auto& header : headers) {
        if (bodyMode == ChunkedBody && header.first.compare("Content-Length", Qt::CaseInsensitive) == 0)
            continue;
        // Handing this one on makes the reply convert it to local time, a
        // time-zone file lookup per request that no caller wants.
        if (header.first.compare("Last-Modified", Qt::CaseInsensitive) == 0)
            continue;
        setRawHeader(header.first, header.second);
    }
    phase = bodyMode == NoBody ? Done : bodyMode == ChunkedBody ? ChunkSize : Body;
    Q_EMIT metaDataChanged();
    return isFinished() ? Stopped : Advanced;
}

PlainHttpReply::Step PlainHttpReply::parseChunkSize(const QByteArray& line)
{
    const qsizetype extension = line.indexOf(';');
    const QByteArray digits = (extension < 0 ? line : line.left(extension)).trimmed();
    bool ok = digits.size() <= 15;
    const qint64 size = ok ? digits.toLongLong(&ok, 16) : 0;
    if (!ok || digits.startsWith('-') || digits.startsWith('+') || digits.contains('x')
        || digits.contains('X')) {
        protocolFailure(QStringLiteral("invalid chunk size"));
        return Stopped;
    }
    remaining = size;
    phase = size == 0 ? Trailer : ChunkData;
    return Advanced;
}

PlainHttpReply::Step PlainHttpReply::moveBody()
{
    const qint64 buffered = buffer.size() - bufferPos;
    const qint64 limit = readBufferSize();
    qint64 count = socket->bytesAvailable();
    if (bodyMode != UntilCloseBody)
        count = qMin(count, remaining);
    if (limit > 0)
        count = qMin(count, limit - buffered);
    if (count <= 0) {
        paused = limit > 0 && buffered >= limit && socket->bytesAvailable() > 0;
        return NeedMore;
    }
    if (bufferPos > 0) {
        buffer.remove(0, bufferPos);
        bufferPos = 0;
    }
    const qsizetype before = buffer.size();
    buffer.resize(before + count);
    const qint64 got = socket->read(buffer.data() + before, count);
    buffer.resize(before + qMax<qint64>(0, got));
    if (got <= 0)
        return NeedMore;
    newData = true;
    received += got;
    if (bodyMode != UntilCloseBody) {
        remaining -= got;
        if (remaining == 0)
            phase = bodyMode == ChunkedBody ? ChunkEnd : Done;
    }
    return Advanced;
}

qint64 PlainHttpReply::readData(char* data, qint64 maxSize)
{
    const qint64 count = qMin<qint64>(maxSize, buffer.size() - bufferPos);
    if (count <= 0)
        return isFinished() ? -1 : 0;
    std::memcpy(data, buffer.constData() + bufferPos, size_t(count));
    bufferPos += count;
    if (bufferPos == buffer.size()) {
        buffer.resize(0);
        bufferPos = 0;
    }
    resumeReading();
    return count;
}

qint64 PlainHttpReply::bytesAvailable() const
{
    return buffer.size() - bufferPos + QNetworkReply::bytesAvailable();
}

void PlainHttpReply::onSocketError(QAbstractSocket::SocketError socketError)
{
    if (isFinished())
        return;
    if (socketError == QAbstractSocket::RemoteHostClosedError) {
        onPeerClosed();
        return;
    }
    if (!retryOnNewConnection())
        fail(errorForSocket(socketError), socket->errorString());
}

void PlainHttpReply::onPeerClosed()
{
    if (isFinished() || !socket)
        return;
    peerClosed = true;
    pump();
}

void PlainHttpReply::endOfConnection()
{
    if (phase == Body && bodyMode == UntilCloseBody) {
        complete();
        return;
    }
    if (retryOnNewConnection())
        return;
    fail(QNetworkReply::RemoteHostClosedError,
        phase == StatusLine || phase == Headers
            ? QStringLiteral("Connection closed before the end of the response headers")
            : QStringLiteral("Connection closed after %1 bytes of the body").arg(received));
}

bool PlainHttpReply::retryOnNewConnection()
{
    // A kept-alive connection the server dropped while it was idle: nothing
    // of this response came, so asking again on a new one is safe, once.
    if (!reused || retried || phase != StatusLine || statusCode != 0 || !partialLine.isEmpty())
        return false;
    retried = true;
    releaseSocket(false);
    openConnection();
    return true;
}

void PlainHttpReply::complete()
{
    if (ending)
        return;
    ending = true;
    phase = Done;
    releaseSocket(keepAlive && bodyMode != UntilCloseBody && !peerClosed);
    if (statusCode >= 400) {
        const NetworkError code = errorForStatus(statusCode);
        setError(code,
            QStringLiteral("Error transferring %1 - server replied: %2")
                .arg(url().toString(), QString::fromLatin1(reasonPhrase)));
        Q_EMIT errorOccurred(code);
    }
    setFinished(true);
    Q_EMIT readChannelFinished();
    Q_EMIT finished();
}

void PlainHttpReply::fail(NetworkError code, const QString& text)
{
    // Also while the end is being reported: a caller may abort from a slot.
    if (ending || isFinished())
        return;
    ending = true;
    phase = Done;
    releaseSocket(false);
    setError(code, text);
    Q_EMIT errorOccurred(code);
    setFinished(true);
    Q_EMIT finished();
}

void PlainHttpReply::protocolFailure(const QString& what)
{
    fail(QNetworkReply::ProtocolFailure, QStringLiteral("Invalid HTTP response from %1: %2").arg(host, what));
}

void PlainHttpReply::close()
{
    abort();
    QNetworkReply::close();
}

void PlainHttpReply::setReadBufferSize(qint64 size)
{
    QNetworkReply::setReadBufferSize(size);
    resumeReading();
}

void PlainHttpReply::resumeReading()
{
    if (!paused || pumpQueued)
        return;
    // From the event loop, never inside the caller's read.
    paused = false;
    pumpQueued = true;
    QMetaObject::invokeMethod(this, &PlainHttpReply::pump, Qt::QueuedConnection);
}

void PlainHttpReply::abort()
{
    fail(QNetworkReply::OperationCanceledError, QStringLiteral("Operation canceled"));
}

void PlainHttpReply::releaseSocket(bool reusable)
{
    if (!socket)
        return;
    QTcpSocket* const released = socket;
    socket = nullptr;
    released->disconnect(this);
    if (reusable && manager && released->state() == QAbstractSocket::ConnectedState
        && released->bytesAvailable() == 0 && released->bytesToWrite() == 0) {
        manager->keepConnection(host, port, released);
        return;
    }
    released->abort();
    released->deleteLater();
}
