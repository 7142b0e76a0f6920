#ifndef INTERRUPTWATCHER_H
#define INTERRUPTWATCHER_H

#include <QObject>

#include <csignal>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a signal of the event loop, through a pipe
// that the handler writes one byte into: nothing else is safe to do inside
// a handler. While a run is under way the first one asks to cancel it, as
// the window's Cancel does; a second one, or any outside a run, ends the
// process at once with the cancel exit code, which is as safe as a kill.
// One watcher at a time; the previous handlers come back with its end.
class InterruptWatcher : public QObject
{
    Q_OBJECT

public:
    explicit InterruptWatcher(QObject* parent = nullptr);
    ~InterruptWatcher() override;
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    bool isWatching() const { return notifier != nullptr; }

public Q_SLOTS:
    // Whether the first signal is to cancel a run rather than end the process.
    void setRunActive(bool active);

Q_SIGNALS:
    void interrupted();

private:
    void onWake();

    int pipeFds[2] = { -1, -1 };
    QSocketNotifier* notifier = nullptr;
    struct sigaction previousInt
    { };
    struct sigaction previousTerm
    { };
};

#endif
