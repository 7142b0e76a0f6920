#ifndef SOURCERATELIMITER_H
#define SOURCERATELIMITER_H

#include <QHash>
#include <QHostAddress>

// A token bucket per source address: each answer takes a token, tokens come
// back at a steady rate up to a burst. It bounds what a forged source
// address can make the server send to its owner. The table of sources is
// bounded too; when it is full of busy sources, new ones wait.
class SourceRateLimiter
{
public:
    struct Limits
    {
        double answersPerSecond = 5.0;
        int burst = 20;
        int maxSources = 65536;
    };

    explicit SourceRateLimiter(const Limits& limits);

    // Takes a token for source at time nowMs (a steady clock); false when
    // the source has none left.
    bool allow(const QHostAddress& source, qint64 nowMs);
    int trackedSources() const { return int(buckets.size()); }

private:
    struct Bucket
    {
        double tokens = 0;
        qint64 lastMs = 0;
    };

    double refilled(const Bucket& bucket, qint64 nowMs) const;
    void dropFullBuckets(qint64 nowMs);

    Limits limits;
    QHash<QHostAddress, Bucket> buckets;
};

#endif
