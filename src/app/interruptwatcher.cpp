#include "app/interruptwatcher.h"

#include "app/exitcode.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

volatile sig_atomic_t wakeFd = -1;
volatile sig_atomic_t runActive = 0;
volatile sig_atomic_t received = 0;

void onSignal(int)
{
    const int savedErrno = errno;
    received = received + 1;
    if (!runActive || received > 1)
        ::_exit(ExitCode::Canceled);
    const char byte = 1;
    // A full pipe holds a wake-up already.
    [[maybe_unused]] const ssize_t written = ::write(wakeFd, &byte, 1);
    errno = savedErrno;
}

} // namespace

InterruptWatcher::InterruptWatcher(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    wakeFd = pipeFds[1];
    received = 0;
    struct sigaction action
    { };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, &previousInt);
    ::sigaction(SIGTERM, &action, &previousTerm);
    notifier = new QSocketNotifier(pipeFds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &InterruptWatcher::onWake);
}

InterruptWatcher::~InterruptWatcher()
{
    if (!notifier)
        return;
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    wakeFd = -1;
    delete notifier;
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
}

void InterruptWatcher::setRunActive(bool active)
{
    runActive = active ? 1 : 0;
}

void InterruptWatcher::onWake()
{
    char bytes[16];
    while (::read(pipeFds[0], bytes, sizeof bytes) > 0) { }
    Q_EMIT interrupted();
}
