#ifndef RATELIMITER_H
#define RATELIMITER_H

#include <QtGlobal>

// A token bucket for a bandwidth cap: it fills at the cap's rate up to a
// tenth of a second's worth, and a piece of data passes when the bucket holds
// enough for it, or is full (a piece larger than the bucket then leaves a
// debt that the next pieces wait for).
class RateLimiter
{
public:
    // bytesPerSecond 0: no cap.
    void setRate(qint64 bytesPerSecond, qint64 nowMs);
    qint64 rate() const { return bytesPerSecond; }
    bool enabled() const { return bytesPerSecond > 0; }

    bool take(qint64 size, qint64 nowMs);
    // Milliseconds until `size` bytes could be taken.
    qint64 waitFor(qint64 size, qint64 nowMs);

private:
    void refill(qint64 nowMs);
    qint64 capacity() const;

    qint64 bytesPerSecond = 0;
    // Kept in thousandths of a byte, so that a fast timer loses nothing to rounding.
    qint64 milliTokens = 0;
    qint64 lastMs = 0;
};

#endif
