#ifndef PLAINHTTPREPLY_H
#define PLAINHTTPREPLY_H

#include <QAbstractSocket>
#include <QList>
#include <QNetworkReply>
#include <QPair>
#include <QPointer>

class MirrorAccessManager;
class QTcpSocket;

// One HTTP/1.1 GET on a connection of MirrorAccessManager's: reads the
// response as it arrives on the socket (status, headers, and a body with a
// length, in chunks or up to the close) and hands it on with the signals,
// attributes and errors a network reply has. A connection that was kept
// alive and turns out closed before the response began is replaced once.
// Limits protect against hostile servers: the header section is capped, and
// a malformed status line, header, length or chunk ends the reply with a
// protocol failure.
class PlainHttpReply : public QNetworkReply
{
    Q_OBJECT

public:
    PlainHttpReply(const QNetworkRequest& request, MirrorAccessManager* manager);
    ~PlainHttpReply() override;

    void abort() override;
    void close() override;
    qint64 bytesAvailable() const override;
    bool isSequential() const override { return true; }
    void setReadBufferSize(qint64 size) override;

    // Most bytes of status line and headers (and of chunk trailers).
    static constexpr qint64 MAX_HEADER_BYTES = 64 * 1024;

protected:
    qint64 readData(char* data, qint64 maxSize) override;

private:
    enum Phase { Connecting, StatusLine, Headers, Body, ChunkSize, ChunkData, ChunkEnd, Trailer, Done };
    enum BodyMode { NoBody, LengthBody, ChunkedBody, UntilCloseBody };
    enum Step { Advanced, NeedMore, Stopped };

    void start();
    void openConnection();
    void listenToSocket();
    void sendRequest();
    void pump();
    // Reading paused for a full read buffer continues once there is room.
    void resumeReading();
    Step step();
    Step readLine(QByteArray& line, qint64 budget);
    Step parseStatusLine(const QByteArray& line);
    Step parseHeaderLine(const QByteArray& line);
    Step headersComplete();
    Step parseChunkSize(const QByteArray& line);
    Step moveBody();
    void onSocketError(QAbstractSocket::SocketError socketError);
    void onPeerClosed();
    void endOfConnection();
    bool retryOnNewConnection();
    void complete();
    void fail(NetworkError code, const QString& text);
    void protocolFailure(const QString& what);
    void releaseSocket(bool reusable);

    QPointer<MirrorAccessManager> manager;
    QTcpSocket* socket = nullptr;
    QString host;
    quint16 port;
    Phase phase = Connecting;
    BodyMode bodyMode = NoBody;
    int statusCode = 0;
    QByteArray reasonPhrase;
    bool http10 = false;
    QList<QPair<QByteArray, QByteArray>> headers;
    qint64 headerBytes = 0;
    // Body bytes still to come in LengthBody, bytes of the current chunk in ChunkData.
    qint64 remaining = 0;
    qint64 received = 0;
    qint64 total = -1;
    bool keepAlive = true;
    bool reused = false;
    bool retried = false;
    bool peerClosed = false;
    bool paused = false;
    bool pumpQueued = false;
    bool newData = false;
    // Set once the end (success or failure) is being reported.
    bool ending = false;
    // The start of a line whose end has not arrived.
    QByteArray partialLine;
    // Body received and not yet read; bufferPos bytes of it were read.
    QByteArray buffer;
    qsizetype bufferPos = 0;
};

#endif
