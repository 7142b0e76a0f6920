#include "sourceratelimiter.h"

SourceRateLimiter::SourceRateLimiter(const Limits& limits)
    : limits(limits)
{ }

double SourceRateLimiter::refilled(const Bucket& bucket, qint64 nowMs) const
{
    const double gained = double(qMax<qint64>(0, nowMs - bucket.lastMs)) * limits.answersPerSecond / 1000.0;
    return qMin(double(limits.burst), bucket.tokens + gained);
}

void SourceRateLimiter::dropFullBuckets(qint64 nowMs)
{
    // A full bucket says nothing that a new one would not.
    for (auto it = buckets.begin(); it != buckets.end();) {
        if (refilled(it.value(), nowMs) >= limits.burst)
            it = buckets.erase(it);
        else
            ++it;
    }
}

bool SourceRateLimiter::allow(const QHostAddress& source, qint64 nowMs)
{
    auto it = buckets.find(source);
    if (it == buckets.end()) {
        if (buckets.size() >= limits.maxSources) {
            dropFullBuckets(nowMs);
            if (buckets.size() >= limits.maxSources)
                return false;
        }
        it = buckets.insert(source, Bucket { double(limits.burst), nowMs });
    }
    Bucket& bucket = it.value();
    bucket.tokens = refilled(bucket, nowMs);
    bucket.lastMs = nowMs;
    if (bucket.tokens < 1.0)
        return false;
    bucket.tokens -= 1.0;
    return true;
}
