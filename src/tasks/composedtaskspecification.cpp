#include "composedtaskspecification.h"

#include <utility>

namespace {

// Progress values are fractions of at most 1; 2^52 units keep every bit of
// their precision and leave room for thousands of whole shares.
constexpr double UnitsPerProgress = 4503599627370496.0;

qint64 progressToUnits(double progress)
{
    return qRound64(progress * UnitsPerProgress);
}

// Removes list[index] in a time that grows with index, not with the length
// of the list: the entries before it move up one place and the first place
// is dropped, which a QList does without moving anything.
template <typename T> void removeNearFront(QList<T>& list, qsizetype index)
{
    if (index > list.size() / 2) {
        list.removeAt(index);
        return;
    }
    for (qsizetype i = index; i > 0; --i)
        list[i] = std::move(list[i - 1]);
    list.removeFirst();
}

} // namespace

ComposedTaskSpecification::ComposedTaskSpecification(
    int maxParallelTasks, double parentProgressRange, QObject* parent)
    : TaskSpecification(parent, parentProgressRange)
    , maxParallelTasks(maxParallelTasks)
    , subTaskCanceled(false)
    , subtasksDoneCalled(false)
{
    connect(this, &ComposedTaskSpecification::startNextTask, this,
        &ComposedTaskSpecification::onStartNextTask, Qt::QueuedConnection);
}

ComposedTaskSpecification::~ComposedTaskSpecification()
{
    clearSubTasks();
}

void ComposedTaskSpecification::addSubTask(TaskSpecification* subTask)
{
    adopt(subTask);
    progressUnits += progressToUnits(subTask->progress);
    publishProgress();
}

void ComposedTaskSpecification::adopt(TaskSpecification* subTask)
{
    allTasks.append(subTask);
    waitingTasks.append(subTask);
    connectSignals(subTask);
}

void ComposedTaskSpecification::addLazySubTasks(qsizetype count)
{
    lazyCount += count;
}

TaskSpecification* ComposedTaskSpecification::makeSubTask(qsizetype index)
{
    Q_UNUSED(index);
    return nullptr;
}

void ComposedTaskSpecification::connectSignals(TaskSpecification* subTask)
{
    connect(subTask, &TaskSpecification::finished, this, &ComposedTaskSpecification::onSubTaskFinished);
    connect(subTask, &TaskSpecification::canceled, this, &ComposedTaskSpecification::onSubTaskCanceled);
    connect(subTask, &TaskSpecification::error, this, &TaskSpecification::error);
    // The subtask travels with the signal: sender() would search every connection.
    connect(
        subTask, &TaskSpecification::updateProgress, this, [this, subTask] { onUpdateProgress(subTask); });
    connect(subTask, &TaskSpecification::message, this, &TaskSpecification::message);
    cancelLinks.append(connect(
        this, &TaskSpecification::otherTaskCancelled, subTask, &TaskSpecification::onOtherTaskCancelled));
}

void ComposedTaskSpecification::executeSubTasks()
{
    state = Running;
    // Subclasses reset with clearSubTasks(), which keeps the flags; a run
    // after a cancelled one must still start its subtasks and end.
    subTaskCanceled = false;
    subtasksDoneCalled = false;
    const int n = int(qMin(qsizetype(maxParallelTasks), waitingTasks.size() + unmadeSubTaskCount()));
    if (n <= 0) {
        subtasksDone();
        return;
    }
    for (int i = 0; i < n; ++i)
        Q_EMIT startNextTask();
}

void ComposedTaskSpecification::onStartNextTask()
{
    if (!subTaskCanceled && !cancelRequested) {
        // A made subtask starts at zero: the sum needs no update.
        if (waitingTasks.isEmpty() && lazyMade < lazyCount)
            adopt(makeSubTask(lazyMade++));
        if (!waitingTasks.isEmpty()) {
            TaskSpecification* next = waitingTasks.takeFirst();
            runningTasks.append(next);
            Q_EMIT subTaskStarting(next);
            next->execute();
            return;
        }
    }
    if (runningTasks.isEmpty() && !subtasksDoneCalled) {
        subtasksDoneCalled = true;
        subtasksDone();
    }
}

void ComposedTaskSpecification::onSubTaskFinished(TaskSpecification* subTask)
{
    runningTasks.removeOne(subTask);
    if (discardFinished)
        discardFinishedSubTask(subTask);
    else
        doneTasks.append(subTask);
    Q_EMIT startNextTask();
}

void ComposedTaskSpecification::discardFinishedSubTask(TaskSpecification* subTask)
{
    quint64 done = 0;
    quint64 total = 0;
    quint64 speed = 0;
    bool downloading = false;
    subTask->timeTick(done, total, speed, downloading);
    if (total != 0) {
        discardedDone += done;
        discardedTotal += total;
    }
    discardedSpeed += speed;
    // Subtasks end roughly in the order they started: the search is short,
    // and so is the shift of the few entries before it.
    const qsizetype index = allTasks.indexOf(subTask);
    disconnect(cancelLinks.at(index));
    removeNearFront(cancelLinks, index);
    removeNearFront(allTasks, index);
    // Its progress stays in the sum; nothing it does later reaches this task.
    disconnect(subTask, nullptr, this, nullptr);
    subTask->deleteLater();
}

void ComposedTaskSpecification::onSubTaskCanceled(TaskSpecification* subTask)
{
    runningTasks.removeOne(subTask);
    doneTasks.append(subTask);
    if (!subTaskCanceled) {
        subTaskCanceled = true;
        Q_EMIT otherTaskCancelled(subTask);
    }
    if (runningTasks.isEmpty() && !subtasksDoneCalled) {
        subtasksDoneCalled = true;
        subtasksDone();
    }
}

void ComposedTaskSpecification::handleOtherTaskCancelled(TaskSpecification* other)
{
    Q_EMIT otherTaskCancelled(other);
}

void ComposedTaskSpecification::onUpdateProgress(const TaskSpecification* subTask)
{
    // One step of one subtask changes the sum by the step's size.
    progressUnits += progressToUnits(subTask->progress) - progressToUnits(subTask->previousProgress);
    publishProgress();
}

void ComposedTaskSpecification::publishProgress()
{
    setProgress(double(progressUnits) / UnitsPerProgress);
}

TaskState ComposedTaskSpecification::getStateFromSubTasks() const
{
    const bool unmade = lazyMade < lazyCount;
    if (allTasks.isEmpty() && !unmade)
        return Finished;

    bool anyUserCanceled = false;
    // Work never started is never done, whatever the made subtasks say.
    bool allFinished = !unmade;
    for (const TaskSpecification* subTask : allTasks) {
        if (subTask->state == ErrorCanceled)
            return ErrorCanceled;
        if (subTask->state == UserCanceled)
            anyUserCanceled = true;
        if (subTask->state != Finished)
            allFinished = false;
    }
    if (anyUserCanceled)
        return UserCanceled;
    if (allFinished)
        return Finished;
    if (cancelRequested)
        return UserCanceled;
    return subTaskCanceled ? ErrorCanceled : Running;
}

void ComposedTaskSpecification::subtasksDone()
{
    endAs(getStateFromSubTasks());
}

void ComposedTaskSpecification::endAs(TaskState outcome)
{
    switch (outcome) {
    case Finished: finish(); break;
    case UserCanceled: userCancel(); break;
    default:
        // Also the case of subtasks left unstarted: that is no success.
        errorCancel();
        break;
    }
}

void ComposedTaskSpecification::userCanceled()
{
    TaskSpecification::userCanceled();
    if (state != Running)
        return;
    // A subtask may end synchronously and change the lists; walk a copy.
    const QList<TaskSpecification*> all = allTasks;
    for (TaskSpecification* subTask : all)
        subTask->userCanceled();
}

void ComposedTaskSpecification::timeTick(
    quint64& downloadDone, quint64& downloadTotal, quint64& speed, bool& downloading)
{
    downloading = false;
    downloadDone += discardedDone;
    downloadTotal += discardedTotal;
    speed += std::exchange(discardedSpeed, 0);
    for (TaskSpecification* subTask : std::as_const(allTasks)) {
        quint64 done = 0;
        quint64 total = 0;
        quint64 subSpeed = 0;
        bool subDownloading = false;
        subTask->timeTick(done, total, subSpeed, subDownloading);
        if (subDownloading)
            downloading = true;
        speed += subSpeed;
        if (total != 0) {
            downloadDone += done;
            downloadTotal += total;
        }
    }
}

void ComposedTaskSpecification::reset()
{
    for (TaskSpecification* subTask : std::as_const(allTasks))
        subTask->reset();
    waitingTasks = allTasks;
    runningTasks.clear();
    doneTasks.clear();
    subTaskCanceled = false;
    subtasksDoneCalled = false;
    TaskSpecification::reset();
}

void ComposedTaskSpecification::clearSubTasks()
{
    for (TaskSpecification* subTask : std::as_const(allTasks)) {
        disconnect(subTask, nullptr, this, nullptr);
        subTask->deleteLater();
    }
    // A discarded subtask must not hear about cancellations of a later run.
    for (const QMetaObject::Connection& link : std::as_const(cancelLinks))
        disconnect(link);
    cancelLinks.clear();
    progressUnits = 0;
    discardedDone = 0;
    discardedTotal = 0;
    discardedSpeed = 0;
    lazyCount = 0;
    lazyMade = 0;
    allTasks.clear();
    waitingTasks.clear();
    runningTasks.clear();
    doneTasks.clear();
}

void ComposedTaskSpecification::endRun(TaskState outcome)
{
    clearSubTasks();
    subtasksDoneCalled = true;
    endAs(outcome);
}
