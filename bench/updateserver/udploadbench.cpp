// Load driver for the reference update server: many UDP source ports on
// 127.0.0.1 send the version request in rounds and count the answers.
#include "updateserver.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
const char request[2] = { '3', '\0' };

struct Load
{
    long sent = 0;
    long answered = 0;
    double seconds = 0;
    double rate() const { return seconds > 0 ? double(answered) / seconds : 0; }
};

sockaddr_in loopback(quint16 port)
{
    sockaddr_in address;
    std::memset(&address, 0, sizeof(address));
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// Each round sends one request from every source port and collects answers
// until all have come or 20 ms have passed.
Load runLoad(quint16 port, int sources, double seconds)
{
    std::vector<int> fds;
    const sockaddr_in server = loopback(port);
    for (int i = 0; i < sources; ++i) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        const sockaddr_in any = loopback(0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof(any)) != 0
            || ::connect(fd, reinterpret_cast<const sockaddr*>(&server), sizeof(server)) != 0) {
            std::perror("socket");
            std::exit(2);
        }
        fds.push_back(fd);
    }
    std::vector<pollfd> polls;
    for (int fd : fds)
        polls.push_back({ fd, POLLIN, 0 });
    char buffer[4096];
    Load load;
    const Clock::time_point start = Clock::now();
    const Clock::time_point end
        = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        long expected = 0;
        for (int fd : fds) {
            if (::send(fd, request, sizeof(request), 0) == sizeof(request))
                ++expected;
        }
        load.sent += expected;
        const Clock::time_point roundEnd = Clock::now() + std::chrono::milliseconds(20);
        while (expected > 0 && Clock::now() < roundEnd) {
            if (::poll(polls.data(), polls.size(), 5) <= 0)
                continue;
            for (pollfd& p : polls) {
                while ((p.revents & POLLIN) && ::recv(p.fd, buffer, sizeof(buffer), 0) > 0) {
                    ++load.answered;
                    --expected;
                }
            }
        }
    }
    load.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    for (int fd : fds)
        ::close(fd);
    return load;
}

// The floor under any server: answers every request with the same bytes.
class EchoServer
{
public:
    explicit EchoServer(const QByteArray& answer)
        : answer(answer)
    {
        fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address = loopback(0);
        socklen_t length = sizeof(address);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0
            || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            std::perror("echo socket");
            std::exit(2);
        }
        port = ntohs(address.sin_port);
        thread = std::thread([this] { serve(); });
    }
    ~EchoServer()
    {
        stop = true;
        const sockaddr_in self = loopback(port);
        ::sendto(fd, "", 0, 0, reinterpret_cast<const sockaddr*>(&self), sizeof(self));
        thread.join();
        ::close(fd);
    }

    quint16 port = 0;

private:
    void serve()
    {
        char buffer[64];
        while (!stop) {
            sockaddr_in sender;
            socklen_t length = sizeof(sender);
            const ssize_t size
                = ::recvfrom(fd, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr*>(&sender), &length);
            if (size == 2 && std::memcmp(buffer, request, 2) == 0)
                ::sendto(fd, answer.constData(), size_t(answer.size()), 0,
                    reinterpret_cast<sockaddr*>(&sender), length);
        }
    }

    QByteArray answer;
    int fd = -1;
    std::atomic<bool> stop { false };
    std::thread thread;
};

// Runs the load on a thread while the server answers on this one.
Load loadServer(const UpdateServer::Answers& answers, const SourceRateLimiter::Limits& limits, int sources,
    double seconds)
{
    UpdateServer server(answers, limits);
    if (!server.listen(QHostAddress::LocalHost, 0, -1)) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorString()));
        std::exit(2);
    }
    Load load;
    std::thread client([&] {
        load = runLoad(server.versionPort(), sources, seconds);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
    });
    QCoreApplication::exec();
    client.join();
    return load;
}

struct Spread
{
    double median;
    double low;
    double high;
};

Spread spread(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return { values[values.size() / 2], values.front(), values.back() };
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const double seconds = argc > 2 ? std::max(0.1, std::atof(argv[2])) : 1.0;
    const int sources = argc > 3 ? std::max(1, std::atoi(argv[3])) : 64;

    UpdateServer::Answers answers;
    answers.versions = QStringLiteral("12#3.0.12,13#3.1 beta,14#3.2 alpha");
    SourceRateLimiter::Limits unlimited;
    unlimited.answersPerSecond = 1e12;
    unlimited.burst = 1 << 30;

    std::vector<double> echoRates;
    std::vector<double> serverRates;
    for (int run = 0; run < runs; ++run) {
        {
            EchoServer echo(UpdateServer::encode(answers.versions, UpdateServer::MaxVersionsSize));
            echoRates.push_back(runLoad(echo.port, sources, seconds).rate());
        }
        serverRates.push_back(loadServer(answers, unlimited, sources, seconds).rate());
    }
    const Spread echo = spread(echoRates);
    const Spread server = spread(serverRates);
    std::printf(
        "UDP version queries on 127.0.0.1 from %d source ports, %.1f s per run, %d runs (median, min-max):\n",
        sources, seconds, runs);
    std::printf(
        "  echo loop (baseline)       %9.0f answers/s  (%.0f-%.0f)\n", echo.median, echo.low, echo.high);
    std::printf("  update server, no limit    %9.0f answers/s  (%.0f-%.0f)  ratio %.2f\n", server.median,
        server.low, server.high, echo.median > 0 ? server.median / echo.median : 0.0);

    const SourceRateLimiter::Limits defaults;
    const double boundSeconds = 3 * seconds;
    const Load limited = loadServer(answers, defaults, sources, boundSeconds);
    const double bound = defaults.burst + defaults.answersPerSecond * limited.seconds;
    std::printf("  default token bucket (%.0f/s, burst %d), one source address for %.1f s: "
                "%ld requests sent, %ld answered, bound %.0f -> %s\n",
        defaults.answersPerSecond, defaults.burst, limited.seconds, limited.sent, limited.answered, bound,
        double(limited.answered) <= bound + 1 ? "bounded" : "NOT BOUNDED");
    return double(limited.answered) <= bound + 1 ? 0 : 1;
}
