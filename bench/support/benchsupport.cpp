#include "benchsupport.h"

#include "tasks/taskspecification.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>

long maxRssKib()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double runTask(TaskSpecification& task)
{
    // The sampling is part of what is measured: the engine asks every task for its figures.
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &task, [&task] {
        quint64 done = 0;
        quint64 total = 0;
        quint64 speed = 0;
        bool downloading = false;
        task.timeTick(done, total, speed, downloading);
    });
    // Queued, so that a task ending inside execute() still stops the loop started after it.
    QObject::connect(
        &task, &TaskSpecification::finished, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(
        &task, &TaskSpecification::canceled, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    QElapsedTimer timer;
    timer.start();
    ticker.start(1000);
    task.execute();
    QCoreApplication::exec();
    return timer.nsecsElapsed() / 1e9;
}
