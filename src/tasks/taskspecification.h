#ifndef TASKSPECIFICATION_H
#define TASKSPECIFICATION_H

#include <QObject>

// Life cycle of a task; the numbers are compared by callers, keep them stable.
enum TaskState : qint32 { Idle = 0, Running = 1, Finished = 2, ErrorCanceled = 3, UserCanceled = 4 };

// Base of every step of an update. A task reports only through its signals
// and ends every run with exactly one of finish(), errorCancel() or
// userCancel(), which emit the single `finished` or `canceled`.
class TaskSpecification : public QObject
{
    Q_OBJECT
public:
    TaskSpecification(QObject* parent, double parentProgressRange);

    void setParentProgressRange(double range);
    void setProgress(double fraction);

    bool cancelRequested;
    // Share of the parent's progress this task represents.
    double parentProgressRange;
    // Own completion already multiplied by parentProgressRange.
    double progress;
    // The value progress had before its latest change, so that a parent can
    // update its sum by the difference.
    double previousProgress = 0.0;
    TaskState state;

public Q_SLOTS:
    virtual void execute() = 0;
    virtual void reset();
    // The caller zeroes the four figures before the call.
    virtual void timeTick(quint64& downloadDone, quint64& downloadTotal, quint64& speed, bool& downloading);
    virtual void userCanceled();
    virtual void handleOtherTaskCancelled(TaskSpecification* other);

Q_SIGNALS:
    void finished(TaskSpecification* task);
    void canceled(TaskSpecification* task);
    void error(QString errorMessage);
    void updateProgress(qreal doneFrac);
    void message(QString message);
    void otherTaskCancelled(TaskSpecification* task);

protected:
    void finish();
    void errorCancel();
    void userCancel();

public Q_SLOTS:
    // Public so that a composed parent can connect its otherTaskCancelled here.
    void onOtherTaskCancelled(TaskSpecification* other);
};

#endif
