#ifndef ASYNCTASKSPECIFICATION_H
#define ASYNCTASKSPECIFICATION_H

#include "tasks/taskspecification.h"

class ASyncFunc;

// A task whose work runs on the global thread pool. The task itself lives
// on the GUI thread; its body reports back only through queued signals.
class ASyncTaskSpecification : public TaskSpecification
{
    Q_OBJECT
public:
    ASyncTaskSpecification(QObject* parent, double parentProgressRange);

    // Files up to this size are read or written faster than a pool thread
    // takes to pick up the work.
    static constexpr qint64 QUICK_FILE_SIZE = 64 * 1024;

public Q_SLOTS:
    void execute() override;
    void reset() override;
    virtual ASyncFunc* createFunction() = 0;
    virtual void connectDefaultSignals(ASyncFunc* function);
    virtual void runDone(bool ok);

protected:
    // Whether the body is so short that the hop to the pool and back would
    // cost more than the work; it then runs at once on the task's thread and
    // its signals still arrive through the event loop, as from the pool.
    virtual bool isQuickWork() const;

protected Q_SLOTS:
    void onRunResult(bool res);
    void onProgress(qreal progress);

private:
    // Identifies the current run, so that what an earlier body still has
    // queued is dropped once the task was reset and executed again.
    quint64 runId = 0;
};

#endif
