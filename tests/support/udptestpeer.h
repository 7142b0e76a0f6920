#ifndef UDPTESTPEER_H
#define UDPTESTPEER_H

#include <QByteArray>
#include <QList>
#include <QMutex>

#include <atomic>
#include <optional>
#include <thread>

// A UDP server on 127.0.0.1 (port chosen by the system) that answers each
// received datagram with the next scripted reply and records what it got.
// It runs on its own thread, so it also answers callers that block.
class UdpTestPeer
{
public:
    using Reply = std::optional<QByteArray>; // std::nullopt: stay silent

    UdpTestPeer();
    ~UdpTestPeer();
    UdpTestPeer(const UdpTestPeer&) = delete;
    UdpTestPeer& operator=(const UdpTestPeer&) = delete;

    bool isListening() const { return fd >= 0; }
    quint16 port() const { return boundPort; }

    // Replies for the coming datagrams, in order; past the end the peer is silent.
    void setReplies(const QList<Reply>& replies);
    QList<QByteArray> received() const;
    // Sent to the sender of each coming datagram, in order, from another port
    // of 127.0.0.1 just before the scripted reply: a forged answer.
    void setForgedReplies(const QList<QByteArray>& replies);

private:
    void run();

    int fd = -1;
    int forgerFd = -1;
    int wakePipe[2] = { -1, -1 };
    quint16 boundPort = 0;
    std::thread thread;

    mutable QMutex mutex;
    QList<Reply> replies;
    QList<QByteArray> forgedReplies;
    QList<QByteArray> datagrams;
};

#endif
