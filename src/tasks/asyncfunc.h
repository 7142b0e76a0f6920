#ifndef ASYNCFUNC_H
#define ASYNCFUNC_H

#include <QObject>

// The body of a worker-thread task. It runs once on a pool thread, works
// only on inputs copied at its creation and reports through its signals,
// which reach the task through queued connections.
class ASyncFunc : public QObject
{
    Q_OBJECT
public:
    ASyncFunc();

    void execute();

Q_SIGNALS:
    void runResult(bool res);
    void message(QString message);
    void error(QString errorMessage);
    void progress(qreal progress);

protected:
    virtual bool run() = 0;
};

#endif
