#ifndef TRANSFER_H
#define TRANSFER_H

#include <QObject>
#include <QString>
#include <QUrl>

#include <functional>

class TransferEngine;
struct TransferSlot;

// One HTTP(S) GET carried by the transfer engine. What arrives is handed to
// the owner's handlers as it comes, from inside libcurl's callbacks: they may
// write and count, but must not end or start transfers; returning false ends
// this one instead. finished() always comes from the event loop after libcurl
// has let go of the transfer. Deleting a Transfer ends it at once.
class Transfer : public QObject
{
    Q_OBJECT

public:
    // Runs once, at the end of the final response's head: its status and
    // headers are known then.
    using HeadHandler = std::function<bool()>;
    using BodyHandler = std::function<bool(const char* data, qint64 size)>;

    ~Transfer() override;

    void setHeadHandler(HeadHandler handler) { headHandler = std::move(handler); }
    void setBodyHandler(BodyHandler handler) { bodyHandler = std::move(handler); }
    // Gathers the body of a 200 answer of at most `limit` bytes into `into`;
    // any other answer, or a longer body, is refused.
    void collectBody(QByteArray* into, qint64 limit);

    const QUrl& url() const { return address; }
    // The status of the final response; 0 before its head.
    int status() const { return statusCode; }
    // Whether the response came over an HTTP/2 connection, which carries
    // further transfers to the same server at the same time.
    bool isMultiplexed() const { return multiplexed; }
    // The announced body length, or -1.
    qint64 contentLength() const { return announcedLength; }
    // First byte position of a Content-Range header, or -1 without one.
    qint64 contentRangeStart() const { return rangeStart; }

    bool isFinished() const { return done; }
    // The response ended complete and no handler refused it.
    bool succeeded() const { return done && result == 0 && !refusedByHandler; }
    // A handler returned false; the owner knows why.
    bool refused() const { return refusedByHandler; }
    // The server's certificate or name did not pass verification.
    bool certificateRejected() const;
    // The status a proxy answered a tunnel request with (407: credentials), or 0.
    int proxyStatus() const { return connectStatus; }
    // Why the transfer failed, in libcurl's words.
    QString errorString() const;

    // Whether data arrived, or the bandwidth cap held data back, since the
    // last call; either counts as a live transfer.
    bool takeActivity();
    // The share of the time since the last call (from 0 to 1) during which
    // the bandwidth cap held this transfer's data back.
    double takeHeldShare();

    // Ends the transfer now, without finished(); no handler runs after it.
    void abort();

Q_SIGNALS:
    void finished();

private:
    friend class TransferEngine;
    Transfer(TransferEngine* engine, const QUrl& url, QObject* parent);

    size_t receiveBody(const char* data, size_t size);
    bool receiveHeaderLine(const char* line, size_t size);
    bool deliverHead();
    // Reads what libcurl learned of the response once it has ended.
    void complete(int curlResult);

    TransferEngine* engine;
    TransferSlot* slot = nullptr;
    QUrl address;
    HeadHandler headHandler;
    BodyHandler bodyHandler;
    int statusCode = 0;
    bool multiplexed = false;
    qint64 announcedLength = -1;
    qint64 rangeStart = -1;
    bool lengthConflict = false;
    bool headDelivered = false;
    bool refusedByHandler = false;
    bool active = false;
    // Since when the cap holds data back (-1: not held), and for how long it
    // did since lastShareMs.
    qint64 heldSinceMs = -1;
    qint64 heldMs = 0;
    qint64 lastShareMs = 0;
    bool done = false;
    int result = 0;
    int connectStatus = 0;
};

#endif
