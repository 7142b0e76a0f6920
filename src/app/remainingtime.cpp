#include "app/remainingtime.h"

void RemainingTime::addSample(quint64 done)
{
    // A drop means the counts started over (a part discarded, a new run).
    if (!samples.isEmpty() && done < samples.last())
        samples.clear();
    samples.append(done);
    if (samples.size() > WindowSeconds + 1)
        samples.removeFirst();
}

qint64 RemainingTime::secondsUntil(quint64 total) const
{
    if (samples.isEmpty())
        return -1;
    if (total <= samples.last())
        return 0;
    if (samples.size() < 2)
        return -1;
    const quint64 gained = samples.last() - samples.first();
    if (gained == 0)
        return -1;
    const quint64 seconds = quint64(samples.size() - 1);
    return qint64(((total - samples.last()) * seconds + gained - 1) / gained);
}
