#ifndef REMAININGTIME_H
#define REMAININGTIME_H

#include <QList>
#include <QtGlobal>

// Estimates the time a download has left from the rate of its last few
// seconds, so that a run's slow start or a pause long ago does not distort it.
class RemainingTime
{
public:
    static constexpr int WindowSeconds = 5;

    // The bytes done at one of the engine's one-second ticks.
    void addSample(quint64 done);
    void clear() { samples.clear(); }
    // Seconds until `total`; -1 while the rate is unknown or zero.
    qint64 secondsUntil(quint64 total) const;

private:
    QList<quint64> samples;
};

#endif
