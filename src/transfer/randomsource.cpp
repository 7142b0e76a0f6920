#include "transfer/randomsource.h"

#include <QMutex>
#include <QMutexLocker>
#include <QRandomGenerator>

namespace {

struct SharedGenerator
{
    QMutex mutex;
    QRandomGenerator generator { QRandomGenerator::system()->generate() };
};

SharedGenerator& sharedGenerator()
{
    static SharedGenerator shared;
    return shared;
}

} // namespace

void RandomSource::seed(quint32 value)
{
    SharedGenerator& shared = sharedGenerator();
    QMutexLocker locker(&shared.mutex);
    shared.generator.seed(value);
}

quint32 RandomSource::bounded(quint32 highest)
{
    SharedGenerator& shared = sharedGenerator();
    QMutexLocker locker(&shared.mutex);
    return shared.generator.bounded(highest);
}
