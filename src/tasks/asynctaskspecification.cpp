#include "asynctaskspecification.h"

#include "asyncfunc.h"
#include "asyncrun.h"

#include <QThreadPool>

ASyncTaskSpecification::ASyncTaskSpecification(QObject* parent, double parentProgressRange)
    : TaskSpecification(parent, parentProgressRange)
{ }

void ASyncTaskSpecification::execute()
{
    ++runId;
    ASyncFunc* function = createFunction();
    connectDefaultSignals(function);
    if (isQuickWork()) {
        function->execute();
        delete function;
    } else {
        // The body is destroyed on a pool thread; without thread affinity that
        // is allowed, and its queued signals do not depend on it.
        function->moveToThread(nullptr);
        QThreadPool::globalInstance()->start(new ASyncRun(function), 0);
    }
    state = Running;
}

bool ASyncTaskSpecification::isQuickWork() const
{
    return false;
}

void ASyncTaskSpecification::connectDefaultSignals(ASyncFunc* function)
{
    const quint64 run = runId;
    connect(
        function, &ASyncFunc::runResult, this,
        [this, run](bool res) {
            if (run == runId)
                onRunResult(res);
        },
        Qt::QueuedConnection);
    connect(
        function, &ASyncFunc::message, this,
        [this, run](const QString& text) {
            if (run == runId)
                Q_EMIT message(text);
        },
        Qt::QueuedConnection);
    connect(
        function, &ASyncFunc::error, this,
        [this, run](const QString& text) {
            if (run == runId)
                Q_EMIT error(text);
        },
        Qt::QueuedConnection);
    connect(
        function, &ASyncFunc::progress, this,
        [this, run](qreal value) {
            if (run == runId)
                onProgress(value);
        },
        Qt::QueuedConnection);
}

void ASyncTaskSpecification::reset()
{
    QThreadPool::globalInstance()->waitForDone();
    ++runId;
    TaskSpecification::reset();
}

void ASyncTaskSpecification::runDone(bool ok)
{
    if (state != Running)
        return;
    if (ok)
        finish();
    else
        errorCancel();
}

void ASyncTaskSpecification::onRunResult(bool res)
{
    runDone(res);
}

void ASyncTaskSpecification::onProgress(qreal progress)
{
    setProgress(progress);
}
