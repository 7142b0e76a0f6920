#ifndef ASYNCRUN_H
#define ASYNCRUN_H

#include <QRunnable>

#include <atomic>

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
    // Handed over with release and acquire: the pool's own locking makes
    // the body's set-up visible too, but only this is seen by race checkers.
    std::atomic<ASyncFunc*> function;
};

#endif
