#ifndef HTTPTESTSERVER_H
#define HTTPTESTSERVER_H

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>

#include <functional>

class QTcpSocket;
class QTimer;

// A scriptable HTTP/1.1 server on 127.0.0.1 for tests. Each path answers with
// a scripted response (status, headers, body) that can also misbehave: omit
// or misstate the length, stall, drip, or close mid-body. Every connection
// serves one request and is closed afterwards.
class HttpTestServer : public QObject
{
    Q_OBJECT

public:
    struct Response
    {
        int status = 200;
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> headers;
        // Send a Content-Length header; without it the body ends at close.
        bool sendContentLength = true;
        // Length announced in the header; -1 announces the real body size.
        qint64 announcedLength = -1;
        // Send this many body bytes, then hold the connection silent until
        // releaseStalled(); -1 does not stall.
        qint64 stallAfter = -1;
        // Close the connection after this many body bytes; -1 sends it all.
        qint64 closeAfter = -1;
        // Send the body in pieces of dripChunk bytes every dripIntervalMs;
        // with an interval of 0 a piece goes out at each drip() only.
        int dripChunk = 0;
        int dripIntervalMs = 0;
        // Repeat the body for ever; the connection ends when the client
        // closes it.
        bool endless = false;

        static Response ok(const QByteArray& body);
        static Response withStatus(int status);
        static Response redirect(const QByteArray& location);
    };
    using Handler = std::function<Response(const QByteArray& path)>;

    explicit HttpTestServer(QObject* parent = nullptr);
    ~HttpTestServer() override;

    // Listens on 127.0.0.1, port chosen by the system.
    bool listen();
    quint16 port() const;
    // "http://127.0.0.1:<port>"
    QString baseUrl() const;

    void setResponse(const QByteArray& path, const Response& response);
    void clearResponse(const QByteArray& path);
    // Answers paths without a scripted response; the default answers 404.
    void setHandler(Handler handler);

    int requestCount() const;
    int requestCount(const QByteArray& path) const;
    // Paths of all requests received, in order of arrival.
    QList<QByteArray> requestedPaths() const;
    int openConnections() const;

    // Lets stalled responses send the rest of their body.
    void releaseStalled();
    // Sends one piece of every response that drips at drip() only.
    void drip();
    // Body bytes written to the client of every connection so far.
    qint64 bodyBytesSent() const;
    // The header block of every request received, in order of arrival.
    QList<QByteArray> requestHeads() const { return heads; }

Q_SIGNALS:
    void requestReceived(QByteArray path);

private:
    struct Connection
    {
        QPointer<QTcpSocket> socket;
        QByteArray requestHead;
        bool answered = false;
        Response response;
        qint64 sent = 0;
        bool stalled = false;
        QTimer* dripTimer = nullptr;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void answer(Connection& connection, const QByteArray& path);
    void sendBody(Connection& connection);
    void finishConnection(Connection& connection);
    Connection* connectionFor(QTcpSocket* socket);
    static QByteArray reasonPhrase(int status);

    QTcpServer server;
    QList<Connection*> connections;
    QHash<QByteArray, Response> responses;
    Handler handler;
    QList<QByteArray> paths;
    QList<QByteArray> heads;
};

#endif
