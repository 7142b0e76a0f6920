#include "consoleprocess.h"

#include <QFile>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

void drain(int fd, QByteArray& into)
{
    char buffer[4096];
    ssize_t n;
    while (fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0)
        into.append(buffer, qsizetype(n));
}

} // namespace

ConsoleProcess::~ConsoleProcess()
{
    if (pid > 0 && !ended) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
    for (int fd : { outFd, errFd }) {
        if (fd >= 0)
            ::close(fd);
    }
}

bool ConsoleProcess::start(
    const QString& program, const QStringList& args, const QProcessEnvironment& environment, bool terminal)
{
    // Everything the child needs is made before the fork: between fork and
    // exec a threaded parent's child may only make async-signal-safe calls.
    QByteArrayList argBytes { QFile::encodeName(program) };
    for (const QString& arg : args)
        argBytes.append(arg.toLocal8Bit());
    QByteArrayList envBytes;
    for (const QString& entry : environment.toStringList())
        envBytes.append(entry.toLocal8Bit());
    std::vector<char*> argv;
    std::vector<char*> envp;
    for (QByteArray& arg : argBytes)
        argv.push_back(arg.data());
    for (QByteArray& entry : envBytes)
        envp.push_back(entry.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    if (terminal) {
        winsize size {};
        size.ws_col = 100;
        size.ws_row = 30;
        pid = ::forkpty(&outFd, nullptr, nullptr, &size);
        if (pid == 0) {
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
    } else {
        int outPipe[2];
        int errPipe[2];
        const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (devNull < 0 || ::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
            return false;
        pid = ::fork();
        if (pid == 0) {
            ::dup2(devNull, 0);
            ::dup2(outPipe[1], 1);
            ::dup2(errPipe[1], 2);
            ::execve(argv[0], argv.data(), envp.data());
            ::_exit(127);
        }
        ::close(devNull);
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        outFd = outPipe[0];
        errFd = errPipe[0];
    }
    for (int fd : { outFd, errFd }) {
        if (fd >= 0)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    return pid > 0;
}

bool ConsoleProcess::poll()
{
    drain(outFd, out);
    drain(errFd, err);
    if (!ended && ::waitpid(pid, &status, WNOHANG) == pid) {
        ended = true;
        drain(outFd, out);
        drain(errFd, err);
    }
    return ended;
}

bool ConsoleProcess::waitForExit(int timeoutMs)
{
    return QTest::qWaitFor([this] { return poll(); }, timeoutMs);
}

int ConsoleProcess::exitCode() const
{
    return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ConsoleProcess::type(const QByteArray& keys)
{
    [[maybe_unused]] const ssize_t written = ::write(outFd, keys.constData(), size_t(keys.size()));
}

void ConsoleProcess::signal(int number)
{
    ::kill(pid, number);
}
