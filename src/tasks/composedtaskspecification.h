#ifndef COMPOSEDTASKSPECIFICATION_H
#define COMPOSEDTASKSPECIFICATION_H

#include "tasks/taskspecification.h"

#include <QList>

// Inner node of the task tree: runs its subtasks in the order they were
// added, at most maxParallelTasks at a time, and derives its outcome from
// theirs. Every subtask start goes through the queued startNextTask(), so a
// subtask never starts inside another one's end signal.
class ComposedTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    ComposedTaskSpecification(int maxParallelTasks, double parentProgressRange, QObject* parent);
    ~ComposedTaskSpecification() override;

    void addSubTask(TaskSpecification* subTask);
    void executeSubTasks();
    TaskState getStateFromSubTasks() const;
    void clearSubTasks();

    // Every subtask of the current run, in the order they were added (those
    // already discarded after finishing excepted).
    const QList<TaskSpecification*>& subTasks() const { return allTasks; }
    // When set, a subtask that finished is discarded at once; what it
    // contributed (its progress, its final byte counts, its success) stays.
    // Memory then follows the running subtasks, not all of them. For tasks
    // that build fresh subtasks for every run.
    void setDiscardFinishedSubTasks(bool discard) { discardFinished = discard; }
    int runningSubTaskCount() const { return int(runningTasks.size()); }
    // Subtasks of the current run not made yet (see addLazySubTasks).
    qsizetype unmadeSubTaskCount() const { return lazyCount - lazyMade; }

    int maxParallelTasks;

public Q_SLOTS:
    void reset() override;
    void timeTick(quint64& downloadDone, quint64& downloadTotal, quint64& speed, bool& downloading) override;
    void userCanceled() override;
    void handleOtherTaskCancelled(TaskSpecification* other) override;
    virtual void subtasksDone();
    virtual void connectSignals(TaskSpecification* subTask);

Q_SIGNALS:
    void startNextTask();
    // A subtask is about to execute.
    void subTaskStarting(TaskSpecification* subTask);

private Q_SLOTS:
    void onStartNextTask();
    void onSubTaskFinished(TaskSpecification* subTask);
    void onSubTaskCanceled(TaskSpecification* subTask);

protected:
    // Plans `count` more subtasks after those added, each made by
    // makeSubTask(index) only when a slot is free for it. A run with
    // subtasks still unmade never counts as finished.
    void addLazySubTasks(qsizetype count);
    virtual TaskSpecification* makeSubTask(qsizetype index);

    // Ends the current run with `outcome` from outside the subtasks' own
    // reports: the subtasks are discarded first, so that their ends cannot
    // count as a second outcome of this run.
    void endRun(TaskState outcome);

private:
    void onUpdateProgress(const TaskSpecification* subTask);
    void publishProgress();
    void discardFinishedSubTask(TaskSpecification* subTask);
    void adopt(TaskSpecification* subTask);
    void endAs(TaskState outcome);

    QList<TaskSpecification*> allTasks;
    QList<TaskSpecification*> waitingTasks;
    QList<TaskSpecification*> runningTasks;
    QList<TaskSpecification*> doneTasks;
    bool subTaskCanceled;
    bool subtasksDoneCalled;
    // Sum of the subtasks' progress in fixed point: kept up to date by
    // differences without rounding drift, whatever the number of subtasks.
    qint64 progressUnits = 0;
    // This task's otherTaskCancelled to each subtask, in the order of
    // allTasks, so that discarding a subtask costs no search.
    QList<QMetaObject::Connection> cancelLinks;
    bool discardFinished = false;
    // Final byte counts of the discarded subtasks, as their ticks reported them.
    quint64 discardedDone = 0;
    quint64 discardedTotal = 0;
    // Bytes that subtasks discarded since the last tick received after their
    // own last tick: a file that comes within a second counts in the rate.
    quint64 discardedSpeed = 0;
    qsizetype lazyCount = 0;
    qsizetype lazyMade = 0;
};

#endif
