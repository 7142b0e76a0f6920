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

    QList<TaskSpecification*> subTasks;
    QList<TaskSpecification*> waitingTasks;
    QList<TaskSpecification*> runningTasks;
    QList<TaskSpecification*> doneTasks;
    int maxParallelTasks;
    bool subTaskCanceled;
    bool subtasksDoneCalled;

public Q_SLOTS:
    void reset() override;
    void timeTick(quint64& downloadDone, quint64& downloadTotal, quint64& speed,
                  bool& downloading) override;
    void userCanceled() override;
    void handleOtherTaskCancelled(TaskSpecification* other) override;
    virtual void subtasksDone();
    virtual void connectSignals(TaskSpecification* subTask);

Q_SIGNALS:
    void startNextTask();

private Q_SLOTS:
    void onStartNextTask();
    void onSubTaskFinished(TaskSpecification* subTask);
    void onSubTaskCanceled(TaskSpecification* subTask);

private:
    void onUpdateProgress(const TaskSpecification* subTask);
    void publishProgress();

    // Sum of the subtasks' progress in fixed point: kept up to date by
    // differences without rounding drift, whatever the number of subtasks.
    qint64 progressUnits = 0;
    // This task's otherTaskCancelled to each subtask, in the order of
    // subTasks, so that discarding a subtask costs no search.
    QList<QMetaObject::Connection> cancelLinks;
};

#endif
