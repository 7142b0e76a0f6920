#ifndef MIRRORACCESSMANAGER_H
#define MIRRORACCESSMANAGER_H

#include <QHash>
#include <QList>
#include <QNetworkAccessManager>

class QTcpSocket;

// The network manager of an update. Plain HTTP GETs that go straight to the
// server without redirects, credentials or a proxy are served by
// PlainHttpReply over kept-alive connections of its own; the general network
// layer costs far more per request, which is what an installation of
// thousands of small files pays for. Everything else goes the usual way.
class MirrorAccessManager : public QNetworkAccessManager
{
    Q_OBJECT

public:
    explicit MirrorAccessManager(QObject* parent = nullptr);

    // An idle connection to host:port, ready for the next request, or null.
    QTcpSocket* takeConnection(const QString& host, quint16 port);
    // Keeps a connection whose last response was read to its end.
    void keepConnection(const QString& host, quint16 port, QTcpSocket* socket);

    // Idle connections kept per server; more are closed.
    static constexpr int MAX_IDLE_PER_SERVER = 8;

protected:
    QNetworkReply* createRequest(
        Operation op, const QNetworkRequest& request, QIODevice* outgoingData = nullptr) override;

private:
    bool servesItself(Operation op, const QNetworkRequest& request, QIODevice* outgoingData) const;
    void dropIdle(QTcpSocket* socket);

    QHash<QString, QList<QTcpSocket*>> idle;
};

#endif
