#include "transfer/ratelimiter.h"

void RateLimiter::setRate(qint64 rate, qint64 nowMs)
{
    bytesPerSecond = qMax<qint64>(0, rate);
    // Starts empty: a cap set during a run does not begin with a burst.
    milliTokens = 0;
    lastMs = nowMs;
}

qint64 RateLimiter::capacity() const
{
    // A tenth of a second: a read larger than that is granted when the
    // bucket is full and paid for by the wait that follows.
    return qMax<qint64>(bytesPerSecond / 10, 1);
}

void RateLimiter::refill(qint64 nowMs)
{
    if (nowMs <= lastMs)
        return;
    // Bytes a second are thousandths of a byte a millisecond. Beyond the
    // time that fills the bucket, a long idle spell adds nothing (and must
    // not overflow).
    const qint64 fillMs = capacity() * 1000 / bytesPerSecond + 1;
    milliTokens = qMin(milliTokens + qMin(nowMs - lastMs, fillMs) * bytesPerSecond, capacity() * 1000);
    lastMs = nowMs;
}

bool RateLimiter::take(qint64 size, qint64 nowMs)
{
    if (!enabled())
        return true;
    refill(nowMs);
    if (milliTokens < size * 1000 && milliTokens < capacity() * 1000)
        return false;
    milliTokens -= size * 1000;
    return true;
}

qint64 RateLimiter::waitFor(qint64 size, qint64 nowMs)
{
    if (!enabled())
        return 0;
    refill(nowMs);
    const qint64 needed = qMin(size, capacity()) * 1000 - milliTokens;
    return needed <= 0 ? 0 : (needed + bytesPerSecond - 1) / bytesPerSecond;
}
