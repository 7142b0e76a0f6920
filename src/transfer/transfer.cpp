#include "transfer/transfer.h"

#include "transfer/transferengine.h"

namespace {

// The value of `line` when it is the header `name` (lower case, with its
// colon), else a null array.
QByteArray headerValue(const QByteArray& line, const char* name)
{
    const qsizetype length = qsizetype(qstrlen(name));
    if (line.size() < length || qstrnicmp(line.constData(), name, length) != 0)
        return QByteArray();
    return line.mid(length).trimmed();
}

// A decimal number of at most 18 digits, or -1.
qint64 parseCount(const QByteArray& text)
{
    if (text.isEmpty() || text.size() > 18)
        return -1;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

} // namespace

Transfer::Transfer(TransferEngine* engine, const QUrl& url, QObject* parent)
    : QObject(parent)
    , engine(engine)
    , address(url)
    , lastShareMs(engine->nowMs())
{ }

Transfer::~Transfer()
{
    abort();
}

void Transfer::abort()
{
    if (slot)
        engine->release(slot);
    slot = nullptr;
}

bool Transfer::certificateRejected() const
{
    return result == CURLE_PEER_FAILED_VERIFICATION || result == CURLE_SSL_CACERT_BADFILE;
}

QString Transfer::errorString() const
{
    if (lengthConflict)
        return QStringLiteral("conflicting Content-Length headers");
    if (slot && slot->errorBuffer[0])
        return QString::fromUtf8(slot->errorBuffer);
    return QString::fromUtf8(curl_easy_strerror(CURLcode(result)));
}

bool Transfer::takeActivity()
{
    return std::exchange(active, false);
}

void Transfer::collectBody(QByteArray* into, qint64 limit)
{
    setHeadHandler([this, limit] { return status() == 200 && contentLength() <= limit; });
    setBodyHandler([into, limit](const char* data, qint64 size) {
        if (into->size() + size > limit)
            return false;
        into->append(data, size);
        return true;
    });
}

double Transfer::takeHeldShare()
{
    if (!slot)
        return 0.0;
    const qint64 now = engine->nowMs();
    qint64 held = std::exchange(heldMs, 0);
    if (heldSinceMs >= 0)
        held += now - std::exchange(heldSinceMs, now);
    const qint64 span = now - std::exchange(lastShareMs, now);
    return span > 0 ? qMin(1.0, double(held) / double(span)) : (held > 0 ? 1.0 : 0.0);
}

bool Transfer::receiveHeaderLine(const char* data, size_t size)
{
    active = true;
    const QByteArray line = QByteArray::fromRawData(data, qsizetype(size));
    if (line == "\r\n" || line == "\n") {
        // The end of a head; an interim one (100 Continue) is not the response's.
        long code = 0;
        curl_easy_getinfo(slot->easy.get(), CURLINFO_RESPONSE_CODE, &code);
        return code < 200 || headDelivered || deliverHead();
    }
    if (line.startsWith("HTTP/")) {
        // A new head (after a 100 Continue, say): nothing of the last counts.
        announcedLength = -1;
        rangeStart = -1;
        lengthConflict = false;
        return true;
    }
    const QByteArray length = headerValue(line, "content-length:");
    if (!length.isNull()) {
        const qint64 value = parseCount(length);
        if (value < 0 || (announcedLength >= 0 && value != announcedLength))
            lengthConflict = true;
        announcedLength = value;
        return true;
    }
    const QByteArray range = headerValue(line, "content-range:");
    if (range.startsWith("bytes ")) {
        const qsizetype dash = range.indexOf('-');
        rangeStart = dash > 6 ? parseCount(range.mid(6, dash - 6)) : -1;
    }
    return true;
}

bool Transfer::deliverHead()
{
    headDelivered = true;
    CURL* easy = slot->easy.get();
    long code = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
    statusCode = int(code);
    long version = 0;
    curl_easy_getinfo(easy, CURLINFO_HTTP_VERSION, &version);
    multiplexed = version >= CURL_HTTP_VERSION_2_0;
    // libcurl takes the last of two lengths; which one is the body's is
    // anybody's guess, so the response is refused.
    if (lengthConflict || (headHandler && !headHandler())) {
        refusedByHandler = !lengthConflict;
        return false;
    }
    return true;
}

size_t Transfer::receiveBody(const char* data, size_t size)
{
    active = true;
    if (!headDelivered && !deliverHead())
        return 0;
    if (!engine->admit(slot, size)) {
        if (heldSinceMs < 0)
            heldSinceMs = engine->nowMs();
        return CURL_WRITEFUNC_PAUSE;
    }
    if (heldSinceMs >= 0)
        heldMs += engine->nowMs() - std::exchange(heldSinceMs, -1);
    if (bodyHandler && !bodyHandler(data, qint64(size))) {
        refusedByHandler = true;
        return 0;
    }
    return size;
}

void Transfer::complete(int curlResult)
{
    done = true;
    result = curlResult;
    long code = 0;
    curl_easy_getinfo(slot->easy.get(), CURLINFO_HTTP_CONNECTCODE, &code);
    connectStatus = int(code);
    if (!headDelivered && result == CURLE_OK && !deliverHead())
        result = CURLE_WRITE_ERROR;
    if (lengthConflict)
        result = CURLE_WEIRD_SERVER_REPLY;
}
