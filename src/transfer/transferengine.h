#ifndef TRANSFERENGINE_H
#define TRANSFERENGINE_H

#include "transfer/curlhandle.h"
#include "transfer/ratelimiter.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <unordered_map>

class QSocketNotifier;
class QTimer;
class QUrl;
class Transfer;

// libcurl's state for one transfer; lives as long as libcurl may call back
// with it, which can outlast its Transfer.
struct TransferSlot
{
    CurlEasy easy;
    CurlList headers;
    QByteArray certificates;
    Transfer* owner = nullptr;
    char errorBuffer[CURL_ERROR_SIZE] = {};
};

// Every HTTP(S) request of the updater: one libcurl multi handle driven by
// the Qt event loop through socket notifiers and one timer, so connections,
// TLS sessions and HTTP/2 streams are shared by all transfers. It also holds
// the run's proxy, extra certificates, bandwidth cap and pause switch.
class TransferEngine : public QObject
{
    Q_OBJECT

public:
    explicit TransferEngine(QObject* parent = nullptr);
    ~TransferEngine() override;

    // An http://, https:// or socks5h:// proxy for every transfer; empty
    // leaves the choice to http_proxy, https_proxy and no_proxy.
    void setProxy(const QString& proxy) { proxyUrl = proxy.toUtf8(); }
    QString proxy() const { return QString::fromUtf8(proxyUrl); }
    // PEM certificates trusted beside the system's store.
    void setExtraCertificates(const QByteArray& pem);
    // Most bytes a second all transfers together receive; 0: no cap.
    void setMaxRate(qint64 bytesPerSecond);
    qint64 maxRate() const { return limiter.rate(); }
    // Whether the cap holds some transfer's data back right now.
    bool isHolding() const { return !held.isEmpty(); }

    // Starts a GET of `url`; from `rangeStart` on when it is positive. The
    // transfer is owned by `parent`.
    Transfer* get(const QUrl& url, QObject* parent, qint64 rangeStart = 0);
    int runningTransfers() const { return int(liveSlots.size()); }

    // A switch for the downloads to honour: they end their transfers,
    // keeping what they received, and continue when it is turned off.
    void setPaused(bool paused);
    // Milliseconds on the engine's own clock, which the cap and the
    // downloads' rules of time go by.
    qint64 nowMs() const { return clockSource ? clockSource() : clock.elapsed(); }
    // Replaces the monotonic clock, so that a test steps time instead of
    // waiting for it; set before the first transfer and cap.
    void setClock(std::function<qint64()> source) { clockSource = std::move(source); }
    bool isPaused() const { return paused; }

Q_SIGNALS:
    void pausedChanged(bool paused);

private:
    friend class Transfer;
    struct SocketWatch;

    static int onSocket(CURL* easy, curl_socket_t socket, int what, void* engine, void* watch);
    static int onTimer(CURLM* multi, long timeoutMs, void* engine);
    static size_t onWrite(char* data, size_t size, size_t count, void* slot);
    static size_t onHeader(char* data, size_t size, size_t count, void* slot);
    void watchSocket(curl_socket_t socket, int what, SocketWatch* watch);
    void act(curl_socket_t socket, int events);
    // Hands finished transfers their results once libcurl is out of the way.
    void collectFinished();
    void release(TransferSlot* slot);
    void dropSlot(TransferSlot* slot);
    // Whether `size` bytes may be taken now under the cap; if not, the
    // transfer is held until the bucket has refilled.
    bool admit(TransferSlot* slot, size_t size);
    void onRefill();

    CurlMulti multi;
    QTimer* timer;
    QTimer* refillTimer;
    std::unordered_map<TransferSlot*, std::unique_ptr<TransferSlot>> liveSlots;
    // Slots whose transfer went while libcurl was calling back; removed as
    // soon as it returns.
    QList<TransferSlot*> orphans;
    QList<TransferSlot*> held;
    int depth = 0;
    QByteArray proxyUrl;
    QByteArray certificates;
    RateLimiter limiter;
    QElapsedTimer clock;
    std::function<qint64()> clockSource;
    bool paused = false;
};

#endif
