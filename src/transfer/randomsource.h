#ifndef RANDOMSOURCE_H
#define RANDOMSOURCE_H

#include <QtGlobal>

// The process-wide pseudo-random generator from which the mirror choice and
// the changelog viewer draw. The update engine seeds it with the current time
// when it prepares a run; before that it starts from a system-chosen seed.
class RandomSource
{
public:
    RandomSource() = delete;

    static void seed(quint32 value);
    // A number in [0, highest); highest must be greater than 0.
    static quint32 bounded(quint32 highest);
};

#endif
