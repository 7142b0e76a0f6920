#include "taskspecification.h"

TaskSpecification::TaskSpecification(QObject* parent, double parentProgressRange)
    : QObject(parent)
    , cancelRequested(false)
    , parentProgressRange(parentProgressRange)
    , progress(0.0)
    , state(Idle)
{ }

void TaskSpecification::setParentProgressRange(double range)
{
    parentProgressRange = range;
}

void TaskSpecification::setProgress(double fraction)
{
    previousProgress = progress;
    progress = fraction * parentProgressRange;
    Q_EMIT updateProgress(progress);
}

void TaskSpecification::reset()
{
    cancelRequested = false;
    state = Idle;
    setProgress(0.0);
}

void TaskSpecification::timeTick(
    quint64& downloadDone, quint64& downloadTotal, quint64& speed, bool& downloading)
{
    downloadDone = 0;
    downloadTotal = 0;
    speed = 0;
    downloading = false;
}

void TaskSpecification::userCanceled()
{
    cancelRequested = true;
}

void TaskSpecification::handleOtherTaskCancelled(TaskSpecification* other)
{
    Q_UNUSED(other);
}

void TaskSpecification::finish()
{
    state = Finished;
    setProgress(1.0);
    Q_EMIT finished(this);
}

void TaskSpecification::errorCancel()
{
    state = ErrorCanceled;
    Q_EMIT canceled(this);
}

void TaskSpecification::userCancel()
{
    state = UserCanceled;
    Q_EMIT canceled(this);
}

void TaskSpecification::onOtherTaskCancelled(TaskSpecification* other)
{
    if (other != this && state == Running)
        handleOtherTaskCancelled(other);
}
