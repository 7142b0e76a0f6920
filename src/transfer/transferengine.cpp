#include "transfer/transferengine.h"

#include "transfer/transfer.h"

#include <QFile>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>

namespace {

constexpr int REFILL_INTERVAL_MS = 20;
constexpr long UNCAPPED_READ_SIZE = 100 * 1024;

// Counts the calls into libcurl during which its callbacks may run.
class CurlCall
{
public:
    explicit CurlCall(int& depth)
        : depth(depth)
    {
        ++depth;
    }
    ~CurlCall() { --depth; }

private:
    int& depth;
};

QByteArray systemCertificates(CURL* easy)
{
    char* path = nullptr;
    curl_easy_getinfo(easy, CURLINFO_CAINFO, &path);
    QFile bundle(QString::fromLocal8Bit(path ? path : "/etc/ssl/certs/ca-certificates.crt"));
    return bundle.open(QIODevice::ReadOnly) ? bundle.readAll() : QByteArray();
}

} // namespace

struct TransferEngine::SocketWatch
{
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
};

TransferEngine::TransferEngine(QObject* parent)
    : QObject(parent)
    , multi(curl_multi_init())
    , timer(new QTimer(this))
    , refillTimer(new QTimer(this))
{
    // Reference-counted: main() has usually done it before any thread started.
    curl_global_init(CURL_GLOBAL_DEFAULT);
    clock.start();
    timer->setSingleShot(true);
    connect(timer, &QTimer::timeout, this, [this] { act(CURL_SOCKET_TIMEOUT, 0); });
    refillTimer->setInterval(REFILL_INTERVAL_MS);
    connect(refillTimer, &QTimer::timeout, this, &TransferEngine::onRefill);
    curl_multi_setopt(multi.get(), CURLMOPT_SOCKETFUNCTION, &TransferEngine::onSocket);
    curl_multi_setopt(multi.get(), CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi.get(), CURLMOPT_TIMERFUNCTION, &TransferEngine::onTimer);
    curl_multi_setopt(multi.get(), CURLMOPT_TIMERDATA, this);
}

TransferEngine::~TransferEngine()
{
    // Transfers owned elsewhere may outlive the engine: they must not reach it.
    for (auto& entry : liveSlots) {
        if (entry.second->owner)
            entry.second->owner->slot = nullptr;
        curl_multi_remove_handle(multi.get(), entry.second->easy.get());
    }
    liveSlots.clear();
    // Removing the handles has dropped every socket watch already.
}

void TransferEngine::setExtraCertificates(const QByteArray& pem)
{
    certificates.clear();
    if (pem.isEmpty())
        return;
    // A certificate blob replaces the system's bundle: both go in.
    CurlEasy probe(curl_easy_init());
    certificates = systemCertificates(probe.get()) + '\n' + pem;
}

void TransferEngine::setMaxRate(qint64 bytesPerSecond)
{
    limiter.setRate(bytesPerSecond, nowMs());
    if (!limiter.enabled())
        onRefill();
}

void TransferEngine::setPaused(bool pause)
{
    if (paused == pause)
        return;
    paused = pause;
    Q_EMIT pausedChanged(paused);
}

Transfer* TransferEngine::get(const QUrl& url, QObject* parent, qint64 rangeStart)
{
    auto* transfer = new Transfer(this, url, parent);
    auto owned = std::make_unique<TransferSlot>();
    TransferSlot* slot = owned.get();
    slot->easy.reset(curl_easy_init());
    slot->owner = transfer;
    transfer->slot = slot;
    CURL* easy = slot->easy.get();

    curl_easy_setopt(easy, CURLOPT_URL, url.toEncoded().constData());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, slot);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &TransferEngine::onWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, slot);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &TransferEngine::onHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, slot);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, slot->errorBuffer);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // Redirects are failures of the mirror, and files are stored exactly as
    // served: packed ones are gzip already, whatever a server labels them.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_HTTP_CONTENT_DECODING, 0L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "Mozilla/5.0");
    // No content coding is asked for, and nothing but the file: libcurl's
    // default Accept goes.
    slot->headers.reset(curl_slist_append(nullptr, "Accept-Encoding: identity"));
    curl_slist_append(slot->headers.get(), "Accept:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, slot->headers.get());
    // Over HTTP/2 a new transfer joins the open connection to its server
    // rather than opening one of its own; plain http never multiplexes.
    // Under a cap, HTTP/1.1 only: libcurl keeps reading a held HTTP/2 stream
    // up to its whole window (tens of MiB each) into memory, lost on a kill,
    // while a held HTTP/1.1 transfer simply leaves its socket unread.
    if (limiter.enabled())
        curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_1));
    else if (url.scheme() == QLatin1String("https"))
        curl_easy_setopt(easy, CURLOPT_PIPEWAIT, 1L);
    // Only the final response's head reaches the transfer, never a proxy's.
    curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    if (rangeStart > 0)
        curl_easy_setopt(easy, CURLOPT_RANGE, (QByteArray::number(rangeStart) + '-').constData());
    if (!proxyUrl.isEmpty()) {
        // The proxy the user named carries everything: no_proxy is for the
        // environment's proxies only.
        curl_easy_setopt(easy, CURLOPT_PROXY, proxyUrl.constData());
        curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
    }
    if (!certificates.isEmpty()) {
        // Shared, not copied: the slot keeps the bundle alive for libcurl.
        slot->certificates = certificates;
        curl_blob blob { const_cast<char*>(slot->certificates.constData()), size_t(slot->certificates.size()),
            CURL_BLOB_NOCOPY };
        curl_easy_setopt(easy, CURLOPT_CAINFO_BLOB, &blob);
        curl_easy_setopt(easy, CURLOPT_PROXY_CAINFO_BLOB, &blob);
    }
    // Smaller reads let a low cap be kept in steps smaller than a second;
    // without a cap, reads as large as curl's own tool makes halve the calls.
    const long buffer = limiter.enabled()
        ? long(qBound(qint64(1024), limiter.rate() / 8, qint64(CURL_MAX_WRITE_SIZE)))
        : UNCAPPED_READ_SIZE;
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, buffer);

    liveSlots.emplace(slot, std::move(owned));
    curl_multi_add_handle(multi.get(), easy);
    return transfer;
}

int TransferEngine::onSocket(CURL* easy, curl_socket_t socket, int what, void* engine, void* watch)
{
    Q_UNUSED(easy);
    static_cast<TransferEngine*>(engine)->watchSocket(socket, what, static_cast<SocketWatch*>(watch));
    return 0;
}

void TransferEngine::watchSocket(curl_socket_t socket, int what, SocketWatch* watch)
{
    if (what == CURL_POLL_REMOVE) {
        if (!watch)
            return;
        // Possibly called from inside one of these notifiers' own signals.
        for (QSocketNotifier* notifier : { watch->read, watch->write }) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
        delete watch;
        curl_multi_assign(multi.get(), socket, nullptr);
        return;
    }
    if (!watch) {
        watch = new SocketWatch;
        watch->read = new QSocketNotifier(socket, QSocketNotifier::Read, this);
        watch->write = new QSocketNotifier(socket, QSocketNotifier::Write, this);
        connect(
            watch->read, &QSocketNotifier::activated, this, [this, socket] { act(socket, CURL_CSELECT_IN); });
        connect(watch->write, &QSocketNotifier::activated, this,
            [this, socket] { act(socket, CURL_CSELECT_OUT); });
        curl_multi_assign(multi.get(), socket, watch);
    }
    watch->read->setEnabled(what == CURL_POLL_IN || what == CURL_POLL_INOUT);
    watch->write->setEnabled(what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
}

int TransferEngine::onTimer(CURLM* multi, long timeoutMs, void* engine)
{
    Q_UNUSED(multi);
    QTimer* timer = static_cast<TransferEngine*>(engine)->timer;
    if (timeoutMs < 0)
        timer->stop();
    else
        timer->start(int(qMin<long>(timeoutMs, 24L * 3600 * 1000)));
    return 0;
}

void TransferEngine::act(curl_socket_t socket, int events)
{
    int running = 0;
    {
        CurlCall call(depth);
        curl_multi_socket_action(multi.get(), socket, events, &running);
    }
    collectFinished();
}

void TransferEngine::collectFinished()
{
    if (depth > 0)
        return;
    QList<QPointer<Transfer>> ended;
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued)) {
        if (msg->msg != CURLMSG_DONE)
            continue;
        TransferSlot* slot = nullptr;
        curl_easy_getinfo(msg->easy_handle, CURLINFO_PRIVATE, &slot);
        const CURLcode result = msg->data.result;
        curl_multi_remove_handle(multi.get(), msg->easy_handle);
        if (slot && slot->owner) {
            slot->owner->complete(int(result));
            ended.append(slot->owner);
        }
    }
    for (TransferSlot* orphan : std::exchange(orphans, {}))
        dropSlot(orphan);
    // A finished() slot may end or start other transfers, or delete this
    // engine; each transfer still here, and not aborted meanwhile, hears of
    // its own end.
    QPointer<TransferEngine> self(this);
    for (const QPointer<Transfer>& transfer : std::as_const(ended)) {
        if (!self)
            return;
        if (transfer && transfer->slot)
            Q_EMIT transfer->finished();
    }
}

void TransferEngine::release(TransferSlot* slot)
{
    slot->owner = nullptr;
    held.removeAll(slot);
    if (depth > 0)
        orphans.append(slot);
    else
        dropSlot(slot);
}

void TransferEngine::dropSlot(TransferSlot* slot)
{
    const auto found = liveSlots.find(slot);
    if (found == liveSlots.end())
        return;
    curl_multi_remove_handle(multi.get(), slot->easy.get());
    liveSlots.erase(found);
}

bool TransferEngine::admit(TransferSlot* slot, size_t size)
{
    if (!limiter.enabled() || limiter.take(qint64(size), nowMs()))
        return true;
    held.append(slot);
    if (!refillTimer->isActive())
        refillTimer->start();
    return false;
}

void TransferEngine::onRefill()
{
    // Resuming hands the held data over at once, which may hold the
    // transfer again: work on a copy.
    const QList<TransferSlot*> waiting = std::exchange(held, {});
    {
        CurlCall call(depth);
        for (TransferSlot* slot : waiting) {
            if (slot->owner)
                curl_easy_pause(slot->easy.get(), CURLPAUSE_CONT);
        }
    }
    if (held.isEmpty())
        refillTimer->stop();
    collectFinished();
}

size_t TransferEngine::onWrite(char* data, size_t size, size_t count, void* slot)
{
    Transfer* owner = static_cast<TransferSlot*>(slot)->owner;
    return owner ? owner->receiveBody(data, size * count) : 0;
}

size_t TransferEngine::onHeader(char* data, size_t size, size_t count, void* slot)
{
    Transfer* owner = static_cast<TransferSlot*>(slot)->owner;
    return owner && owner->receiveHeaderLine(data, size * count) ? size * count : 0;
}
