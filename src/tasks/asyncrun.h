#ifndef ASYNCRUN_H
#define ASYNCRUN_H

#include <QRunnable>

class ASyncFunc;

// Carries one body into the thread pool and owns it; the pool deletes the
// runnable (and with it the body) after run() has returned.
class ASyncRun : public QRunnable
{
public:
    explicit ASyncRun(ASyncFunc* function);
    ~ASyncRun() override;

    void run() override;

private:
    ASyncFunc* function;
};

#endif
