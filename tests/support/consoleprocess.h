#ifndef CONSOLEPROCESS_H
#define CONSOLEPROCESS_H

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <sys/types.h>

// A program run as a process of its own, its output read as it comes:
// through a pseudo-terminal, as on a person's console (stdout and stderr
// then both arrive in `out`, and typed keys reach it as from a keyboard), or
// through two pipes with stdin on /dev/null. The process is killed with the
// object when it is still running.
class ConsoleProcess
{
public:
    ConsoleProcess() = default;
    ~ConsoleProcess();
    ConsoleProcess(const ConsoleProcess&) = delete;
    ConsoleProcess& operator=(const ConsoleProcess&) = delete;

    // A terminal of 100 columns when `terminal`.
    bool start(const QString& program, const QStringList& args, const QProcessEnvironment& environment,
        bool terminal);
    // Reads what has arrived; true once the process has ended.
    bool poll();
    // Runs the event loop meanwhile, as a test's local servers need.
    bool waitForExit(int timeoutMs);
    // -1 until it has ended, and when a signal ended it.
    int exitCode() const;
    // To the terminal: "\x03" is Ctrl-C.
    void type(const QByteArray& keys);
    void signal(int number);

    QByteArray out;
    QByteArray err;

private:
    pid_t pid = -1;
    int outFd = -1;
    int errFd = -1;
    int status = 0;
    bool ended = false;
};

#endif
