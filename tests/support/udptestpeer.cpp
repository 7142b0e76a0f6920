#include "udptestpeer.h"

#include <QMutexLocker>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

UdpTestPeer::UdpTestPeer()
{
    if (::pipe(wakePipe) != 0)
        return;
    fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0)
        return;
    sockaddr_in address;
    std::memset(&address, 0, sizeof(address));
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof(address);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        fd = -1;
        return;
    }
    boundPort = ntohs(address.sin_port);
    forgerFd = ::socket(AF_INET, SOCK_DGRAM, 0);
    address.sin_port = 0;
    if (forgerFd >= 0 && ::bind(forgerFd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(forgerFd);
        forgerFd = -1;
    }
    thread = std::thread([this] { run(); });
}

UdpTestPeer::~UdpTestPeer()
{
    if (thread.joinable()) {
        const char stop = 0;
        (void)!::write(wakePipe[1], &stop, 1);
        thread.join();
    }
    if (fd >= 0)
        ::close(fd);
    if (forgerFd >= 0)
        ::close(forgerFd);
    for (int end : wakePipe) {
        if (end >= 0)
            ::close(end);
    }
}

void UdpTestPeer::setReplies(const QList<Reply>& newReplies)
{
    QMutexLocker locker(&mutex);
    replies = newReplies;
}

void UdpTestPeer::setForgedReplies(const QList<QByteArray>& newReplies)
{
    QMutexLocker locker(&mutex);
    forgedReplies = newReplies;
}

QList<QByteArray> UdpTestPeer::received() const
{
    QMutexLocker locker(&mutex);
    return datagrams;
}

void UdpTestPeer::run()
{
    QByteArray buffer(65536, '\0');
    for (;;) {
        pollfd fds[2] = { { fd, POLLIN, 0 }, { wakePipe[0], POLLIN, 0 } };
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents != 0)
            return;
        if (!(fds[0].revents & POLLIN))
            continue;

        sockaddr_in sender;
        socklen_t senderLength = sizeof(sender);
        const ssize_t size = ::recvfrom(
            fd, buffer.data(), size_t(buffer.size()), 0, reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (size < 0)
            continue;
        Reply reply;
        Reply forged;
        {
            QMutexLocker locker(&mutex);
            datagrams.append(buffer.left(qsizetype(size)));
            if (!replies.isEmpty())
                reply = replies.takeFirst();
            if (!forgedReplies.isEmpty())
                forged = forgedReplies.takeFirst();
        }
        if (forged && forgerFd >= 0)
            ::sendto(forgerFd, forged->constData(), size_t(forged->size()), 0,
                reinterpret_cast<const sockaddr*>(&sender), senderLength);
        if (reply)
            ::sendto(fd, reply->constData(), size_t(reply->size()), 0,
                reinterpret_cast<const sockaddr*>(&sender), senderLength);
    }
}
