#ifndef TASKRUN_H
#define TASKRUN_H

#include "tasks/taskspecification.h"

#include <QSignalSpy>
#include <QStringList>

// The end of one run of a task, as its signals told it.
struct TaskRun
{
    // Idle when the task did not end exactly once within the time-out.
    TaskState state = Idle;
    QStringList messages;
};

// Executes `task` and runs the event loop until it has ended.
TaskRun runTask(TaskSpecification& task, int timeoutMs = 60000);
// Waits for a task that has already been started; counts and collects from now on.
class TaskEndWatcher
{
public:
    explicit TaskEndWatcher(TaskSpecification& task);
    ~TaskEndWatcher();
    TaskEndWatcher(const TaskEndWatcher&) = delete;
    TaskEndWatcher& operator=(const TaskEndWatcher&) = delete;

    TaskRun wait(int timeoutMs = 60000);

private:
    struct Private;
    Private* d;
};

// Spies on the end, message and progress signals of one task.
struct TaskSpies
{
    explicit TaskSpies(TaskSpecification* task);
    int ends() const { return int(finished.count() + canceled.count()); }
    QStringList messageTexts() const;
    // The text of message number `index`; a negative index counts from the end.
    QString message(int index) const;

    QSignalSpy finished;
    QSignalSpy canceled;
    QSignalSpy messages;
    QSignalSpy progress;
};

#endif
