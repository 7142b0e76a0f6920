#ifndef MIRRORPROBE_H
#define MIRRORPROBE_H

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>

class Transfer;
class TransferEngine;

// One file asked of a mirror the way the updater asks for it: a GET through
// the transfer engine, which follows no redirect and takes the bytes as
// served, bounded in size and in time. measure() learns the file's size
// without its content, fetch() hands the content over as well. Like an
// attempt of the updater's downloads, a request that receives less than
// DownloadTaskSpecification's least bytes over its windows of ticks is
// given up.
class MirrorProbe : public QObject
{
    Q_OBJECT

public:
    enum class Outcome {
        Pending,
        // The whole size is known (and for fetch() the whole content went
        // to the sink).
        Served,
        // 404 or 410.
        Absent,
        Redirected,
        OtherStatus,
        // More than the bound; size() is the announced size, or -1.
        TooLarge,
        // No usable answer; errorString() says why.
        Failed
    };
    using Sink = std::function<bool(const char* data, qint64 size)>;

    MirrorProbe(TransferEngine* transfers, const QUrl& url, QObject* parent);

    // Asks only for the last of the `listedSize` bytes: a mirror that serves
    // ranges says how long the file is, sends one byte and keeps the
    // connection for the next request. A longer file is TooLarge, a shorter
    // one is measured by a second, whole request.
    void measure(qint64 listedSize);
    // Receives the whole file, at most `limit` bytes, handing each piece to
    // `sink`; a sink that returns false fails the probe.
    void fetch(qint64 limit, Sink sink);

    // Gives the request a deadline on the engine's clock, from its bound
    // as the updater times its documents (DownloadTaskSpecification).
    void setDeadlineFromBound() { deadlineFromBound = true; }

    // Called once a second.
    void tick();
    // Body bytes received so far.
    qint64 receivedBytes() const { return received; }

    const QUrl& url() const { return address; }
    Outcome outcome() const { return result; }
    // The status of the answer; 0 before it.
    int status() const { return statusCode; }
    qint64 size() const { return servedSize; }
    QString errorString() const { return error; }

Q_SIGNALS:
    void finished();

private:
    void start(qint64 rangeStart);
    bool onHead();
    bool onBody(const char* data, qint64 size);
    void onFinished();
    bool decide(Outcome outcome, qint64 size = -1);
    void giveUp();

    TransferEngine* transfers;
    QPointer<Transfer> transfer;
    QUrl address;
    Sink sink;
    qint64 bound = 0;
    bool measuring = false;
    bool measuringWhole = false;
    bool deadlineFromBound = false;
    // When the first request started on the engine's clock; -1: not yet.
    qint64 startedMs = -1;
    // The file position of the first body byte, and the bytes received.
    qint64 offset = 0;
    qint64 received = 0;
    // `received` at each tick, newest last, as far back as the longer window.
    QList<qint64> tickHistory;
    int statusCode = 0;
    Outcome result = Outcome::Pending;
    qint64 servedSize = -1;
    QString error;
};

#endif
