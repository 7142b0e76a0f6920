#include "serverquery/updatechecker.h"

#include "buildconfig.h"

#include <QByteArray>

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

// Closes the socket however the exchange ends.
class SocketGuard
{
public:
    explicit SocketGuard(int fd)
        : fd(fd)
    { }
    ~SocketGuard()
    {
        if (fd >= 0)
            ::close(fd);
    }
    SocketGuard(const SocketGuard&) = delete;
    SocketGuard& operator=(const SocketGuard&) = delete;

    const int fd;
};

bool sendRequest(int fd, const char* request)
{
    // The request is one character followed by its terminating NUL.
    ssize_t sent;
    do {
        sent = ::send(fd, request, 2, 0);
    } while (sent < 0 && errno == EINTR);
    return sent >= 1;
}

// Receives one datagram into a buffer of bufferSize bytes, keeping at most
// bufferSize - 1 of them, and returns the text before the first NUL.
bool receiveText(int fd, int bufferSize, QString& text)
{
    QByteArray buffer(bufferSize, '\0');
    ssize_t received;
    do {
        received = ::recv(fd, buffer.data(), bufferSize - 1, 0);
    } while (received < 0 && errno == EINTR);
    if (received < 0)
        return false;
    buffer.truncate(static_cast<qsizetype>(received));
    text = UpdateChecker::answerText(buffer);
    return true;
}

} // namespace

QString UpdateChecker::defaultHost()
{
    return QStringLiteral(VOXMEADOW_UPDATE_HOST);
}

UpdateChecker::UpdateChecker(const QString& host, quint16 port, int receiveTimeoutMs)
    : host(host)
    , port(port)
    , receiveTimeoutMs(qMax(1, receiveTimeoutMs)) // a zero SO_RCVTIMEO would wait forever
{ }

bool UpdateChecker::checkUpdate()
{
    return readFromServer();
}

bool UpdateChecker::readFromServer()
{
    channelList.clear();

    const SocketGuard socket(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (socket.fd < 0)
        return false;

    addrinfo hints;
    std::memset(&hints, 0, sizeof(hints));
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    addrinfo* resolved = nullptr;
    if (::getaddrinfo(host.toLocal8Bit().constData(), nullptr, &hints, &resolved) != 0 || !resolved)
        return false;
    sockaddr_in server;
    std::memcpy(&server, resolved->ai_addr, sizeof(server));
    ::freeaddrinfo(resolved);
    server.sin_port = htons(port);
    // A connected socket only receives datagrams from the server asked; an
    // answer forged from anywhere else never reaches recv().
    if (::connect(socket.fd, reinterpret_cast<const sockaddr*>(&server), sizeof(server)) != 0)
        return false;

    if (!sendRequest(socket.fd, "3"))
        return false;

    timeval timeout;
    timeout.tv_sec = receiveTimeoutMs / 1000;
    timeout.tv_usec = (receiveTimeoutMs % 1000) * 1000;
    if (::setsockopt(socket.fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout)) != 0)
        return false;

    QString versions;
    if (!receiveText(socket.fd, 512, versions))
        return false;
    channelList = parseChannelList(versions);

    if (!sendRequest(socket.fd, "*"))
        return false;

    QString newsText;
    if (!receiveText(socket.fd, 4096, newsText))
        return false;
    news = newsText;
    return true;
}

QString UpdateChecker::answerText(const QByteArray& datagram)
{
    return QString::fromLatin1(
        datagram.constData(), qsizetype(qstrnlen(datagram.constData(), size_t(datagram.size()))));
}

QList<QPair<QString, QString>> UpdateChecker::parseChannelList(const QString& text)
{
    QList<QPair<QString, QString>> channels;
    const QStringList entries = text.split(QLatin1Char(','), Qt::KeepEmptyParts, Qt::CaseSensitive);
    for (const QString& entry : entries) {
        const int hash = entry.indexOf(QLatin1Char('#'));
        if (hash >= 0)
            channels.append(qMakePair(entry.left(hash), entry.mid(hash + 1)));
        else
            channels.append(qMakePair(entry, QString()));
    }
    return channels;
}

QPair<QString, QString> UpdateChecker::getClientVersionByChannel(UpdateChannel channel) const
{
    const int index = static_cast<int>(channel);
    if (index < 0 || index >= channelList.size())
        return qMakePair(QString(), QString());
    return channelList.at(index);
}
