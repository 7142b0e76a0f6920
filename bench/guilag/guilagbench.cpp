// Benchmark driver: event-loop lag while a whole update runs.
//
//   guilagbench update <installation dir> <temporary dir> <update type> <version>
//       measures the idle loop for 3 s, then runs a whole update; the mirrors
//       come from mirrors.ini in the installation directory
//
// Output: one line "idle_max_ms=<ms> idle_p99_ms=<ms> max_ms=<ms> p99_ms=<ms> samples=<n> seconds=<s>
// ok=<0|1>".

#include "tasks/eventdispatcherchoice.h"
#include "transfer/transferengine.h"
#include "benchsupport.h"
#include "manifest/installationlayout.h"
#include "transfer/mirrors.h"
#include "transfer/downloadcontext.h"
#include "update/maintaskspecification.h"
#include "update/updatesettings.h"
#include "verify/cryptwrapper.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

const int ProbeIntervalMs = 5;
const int IdleMs = 3000;

// A timer on the thread under test; each timeout records by how much it
// came later than asked, which is how long the loop was busy elsewhere.
class LagProbe
{
public:
    LagProbe()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(ProbeIntervalMs);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            const qint64 now = clock.nsecsElapsed();
            const double lag = std::max<qint64>(0, now - last - qint64(ProbeIntervalMs) * 1000000) / 1e6;
            if (lag > maximum())
                worstContext = context;
            lags.push_back(lag);
            last = now;
        });
    }

    void start()
    {
        lags.clear();
        clock.start();
        last = 0;
        timer.start();
    }
    void stop() { timer.stop(); }

    double maximum() const { return lags.empty() ? 0 : *std::max_element(lags.begin(), lags.end()); }
    double percentile99() const
    {
        if (lags.empty())
            return 0;
        std::vector<double> sorted = lags;
        std::sort(sorted.begin(), sorted.end());
        return sorted.at(std::min(sorted.size() - 1, size_t(double(sorted.size()) * 0.99)));
    }
    size_t samples() const { return lags.size(); }

    // What the loop was last told before the longest delay, to find its cause.
    QString context;
    QString worstContext;

private:
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0;
    std::vector<double> lags;
};

int runUpdate(const QString& appRoot, const QString& tempDir, const QString& type, int version)
{
    crypt_init();
    const InstallationLayout layout(QDir(appRoot).absolutePath(), QDir(tempDir).absolutePath());
    const UpdateSettings settings = UpdateSettings::read(layout.settingsFile());
    Mirrors mirrors;
    mirrors.initDefault(layout.mirrorsFile(), version);
    TransferEngine manager;
    MainTaskSpecification task(DownloadContext { &manager, &mirrors, layout }, type, version,
        settings.downloadConcurrency, nullptr, 1.0);
    QObject::connect(&task, &TaskSpecification::error, qApp,
        [](const QString& text) { QTextStream(stderr) << text << Qt::endl; });

    LagProbe probe;
    QObject::connect(
        &task, &TaskSpecification::message, qApp, [&probe](const QString& text) { probe.context = text; });
    probe.start();
    QTimer::singleShot(IdleMs, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    probe.stop();
    const double idleMax = probe.maximum();
    const double idleP99 = probe.percentile99();

    probe.start();
    const double seconds = runTask(task);
    probe.stop();
    const bool ok = task.state == Finished;
    QTextStream(stderr) << "longest delay after: " << probe.worstContext << Qt::endl;
    QTextStream(stdout) << "idle_max_ms=" << idleMax << " idle_p99_ms=" << idleP99
                        << " max_ms=" << probe.maximum() << " p99_ms=" << probe.percentile99()
                        << " samples=" << probe.samples() << " seconds=" << seconds << " ok=" << (ok ? 1 : 0)
                        << Qt::endl;
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    EventDispatcherChoice dispatcherChoice;
    QCoreApplication app(argc, argv);
    dispatcherChoice.applicationCreated();
    const QStringList args = app.arguments();
    if (args.size() == 6 && args.at(1) == QLatin1String("update"))
        return runUpdate(args.at(2), args.at(3), args.at(4), args.at(5).toInt());
    QTextStream(stderr)
        << "usage: guilagbench update <installation dir> <temporary dir> <update type> <version>\n";
    return 2;
}
