#include "mirrorprobe.h"

#include "transfer/downloadtaskspecification.h"
#include "transfer/ftpsiteaccessdata.h"
#include "transfer/transfer.h"
#include "transfer/transferengine.h"

MirrorProbe::MirrorProbe(TransferEngine* transfers, const QUrl& url, QObject* parent)
    : QObject(parent)
    , transfers(transfers)
    , address(url)
{ }

void MirrorProbe::measure(qint64 listedSize)
{
    measuring = true;
    bound = listedSize;
    // An empty file has no last byte to ask for, and a file of one byte is
    // that byte.
    start(listedSize > 1 ? listedSize - 1 : 0);
}

void MirrorProbe::fetch(qint64 limit, Sink receiver)
{
    measuring = false;
    bound = limit;
    sink = std::move(receiver);
    start(0);
}

void MirrorProbe::start(qint64 rangeStart)
{
    if (startedMs < 0)
        startedMs = transfers->nowMs();
    offset = rangeStart;
    received = 0;
    tickHistory.clear();
    statusCode = 0;
    transfer = transfers->get(address, this, rangeStart);
    transfer->setHeadHandler([this] { return onHead(); });
    transfer->setBodyHandler([this](const char* data, qint64 size) { return onBody(data, size); });
    connect(transfer, &Transfer::finished, this, &MirrorProbe::onFinished);
}

bool MirrorProbe::decide(Outcome outcome, qint64 size)
{
    result = outcome;
    servedSize = size;
    return false;
}

bool MirrorProbe::onHead()
{
    statusCode = transfer->status();
    const bool ranged = offset > 0;
    if (statusCode == 206 && ranged) {
        if (transfer->contentRangeStart() != offset) {
            error = QStringLiteral("asked from byte %1, answered from byte %2")
                        .arg(offset)
                        .arg(transfer->contentRangeStart());
            return decide(Outcome::Failed);
        }
    } else if (statusCode == 416 && ranged) {
        // Shorter than listed; how much shorter a whole request tells.
        measuringWhole = true;
        return false;
    } else if (statusCode == 200) {
        // A mirror that ignores the range sends the file from its start.
        offset = 0;
    } else if (statusCode == 404 || statusCode == 410) {
        return decide(Outcome::Absent);
    } else if (statusCode >= 300 && statusCode < 400) {
        return decide(Outcome::Redirected);
    } else {
        return decide(Outcome::OtherStatus);
    }
    const qint64 announced = transfer->contentLength();
    if (announced < 0)
        return true;
    const qint64 total = offset + announced;
    if (total > bound)
        return decide(Outcome::TooLarge, total);
    // The announced length is the answer; more than the one byte asked for
    // is not worth receiving.
    if (measuring && announced > 1)
        return decide(Outcome::Served, total);
    return true;
}

bool MirrorProbe::onBody(const char* data, qint64 size)
{
    if (offset + received + size > bound)
        return decide(Outcome::TooLarge);
    received += size;
    if (sink && !sink(data, size)) {
        error = QStringLiteral("what arrived could not be kept");
        return decide(Outcome::Failed);
    }
    return true;
}

void MirrorProbe::onFinished()
{
    Transfer* ended = transfer;
    transfer = nullptr;
    ended->deleteLater();
    if (result == Outcome::Pending && measuringWhole) {
        measuringWhole = false;
        start(0);
        return;
    }
    if (result == Outcome::Pending) {
        if (ended->succeeded()) {
            result = Outcome::Served;
            servedSize = offset + received;
        } else {
            result = Outcome::Failed;
            error = ended->errorString();
        }
    }
    Q_EMIT finished();
}

void MirrorProbe::tick()
{
    if (!transfer)
        return;
    const qint64 deadlineMs = DownloadTaskSpecification::deadlineForLimit(bound, transfers->maxRate());
    if (deadlineFromBound && transfers->nowMs() - startedMs > deadlineMs) {
        error = QStringLiteral("not received within %1 s").arg((deadlineMs + 999) / 1000);
        giveUp();
        return;
    }
    tickHistory.append(received);
    const qsizetype ticks = tickHistory.size() - 1;
    const auto below = [&](int windowTicks, qint64 leastBytes, const char* verdict) {
        if (ticks < windowTicks)
            return false;
        const qint64 windowBytes = tickHistory.last() - tickHistory.at(ticks - windowTicks);
        if (windowBytes >= leastBytes)
            return false;
        error = QStringLiteral("%1: %2 bytes in %3 s")
                    .arg(QLatin1String(verdict))
                    .arg(windowBytes)
                    .arg(windowTicks);
        return true;
    };
    const int stallTicks = FTPSiteAccessData().timeoutTicks;
    const int slowTicks = DownloadTaskSpecification::SLOW_WINDOW_TICKS;
    if (!below(stallTicks, DownloadTaskSpecification::MIN_WINDOW_BYTES, "stalled")
        && !below(slowTicks, DownloadTaskSpecification::MIN_SLOW_WINDOW_BYTES, "too slow")) {
        if (ticks >= qMax(stallTicks, slowTicks))
            tickHistory.removeFirst();
        return;
    }
    giveUp();
}

void MirrorProbe::giveUp()
{
    delete transfer;
    measuringWhole = false;
    decide(Outcome::Failed);
    Q_EMIT finished();
}
