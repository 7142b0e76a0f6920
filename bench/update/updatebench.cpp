// Benchmark driver for the list compiler and a whole update.
//
//   updatebench compile <installation dir> <temporary dir> <update type>
//       compiles the lists against the product ini in the temporary dir
//   updatebench update <installation dir> <temporary dir> <update type> <version>
//       runs a whole update; the mirrors come from mirrors.ini in the
//       installation directory, the download concurrency from update.ini
//
// Output: one line "seconds=<s> idle_rss_kib=<k> maxrss_kib=<k> downloads=<n> replaces=<n> ok=<0|1>".

#include "tasks/eventdispatcherchoice.h"
#include "manifest/installationlayout.h"
#include "update/updatesettings.h"
#include "benchsupport.h"
#include "verify/cryptwrapper.h"
#include "update/maintaskspecification.h"
#include "transfer/transferengine.h"
#include "transfer/mirrors.h"
#include "manifest/filespecifications.h"
#include "manifest/releasemanifest.h"
#include "update/makedownloadreplacelistfunc.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTextStream>
#include <QTimer>

namespace {

long currentRssKib()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return 0;
}

void report(double seconds, long idleRss, qsizetype downloads, qsizetype replaces, bool ok)
{
    QTextStream(stdout) << "seconds=" << seconds << " idle_rss_kib=" << idleRss
                        << " maxrss_kib=" << maxRssKib() << " downloads=" << downloads
                        << " replaces=" << replaces << " ok=" << (ok ? 1 : 0) << Qt::endl;
}

InstallationLayout layoutOf(const QString& appRoot, const QString& tempDir)
{
    return InstallationLayout(QDir(appRoot).absolutePath(), QDir(tempDir).absolutePath());
}

int runCompile(const QString& appRoot, const QString& tempDir, const QString& type)
{
    crypt_init();
    FileSpecifications lists;
    const InstallationLayout layout = layoutOf(appRoot, tempDir);
    MakeDownloadReplaceListFunc compiler(layout, type, lists);
    // As the updater compiles once the manifest has verified: by SHA-256.
    const QString manifest = layout.downloadedPath(ReleaseManifest::fileName(type));
    if (QFile::exists(manifest))
        compiler.useManifest(manifest);
    const long idle = currentRssKib();
    QElapsedTimer timer;
    timer.start();
    const bool ok = compiler.run();
    report(timer.nsecsElapsed() / 1e9, idle, lists.downloadCount(), lists.replaceList.size(), ok);
    return ok ? 0 : 1;
}

int runUpdate(const QString& appRoot, const QString& tempDir, const QString& type, int version)
{
    crypt_init();
    const InstallationLayout layout = layoutOf(appRoot, tempDir);
    const UpdateSettings settings = UpdateSettings::read(layout.settingsFile());
    Mirrors mirrors;
    mirrors.initDefault(QDir(appRoot).filePath(QStringLiteral("mirrors.ini")), version);
    TransferEngine manager;
    manager.setExtraCertificates(settings.extraCertificates());
    manager.setMaxRate(settings.maxDownloadRate * 1024);
    MainTaskSpecification task(DownloadContext { &manager, &mirrors, layout }, type, version,
        settings.downloadConcurrency, nullptr, 1.0);

    // Every line goes out, gathered into one write per 100 ms as the
    // window's terminal log does.
    QStringList pending;
    const auto log = [&pending](const QString& text) { pending.append(text); };
    const auto flush = [&pending] {
        if (!pending.isEmpty())
            QTextStream(stderr) << pending.join(QLatin1Char('\n')) << Qt::endl;
        pending.clear();
    };
    QObject::connect(&task, &TaskSpecification::message, qApp, log);
    QObject::connect(&task, &TaskSpecification::error, qApp, log);
    QObject::connect(&mirrors, &Mirrors::message, qApp, log);
    // Counted as the downloads start: the task drops its list when they end.
    qsizetype downloads = 0;
    QObject::connect(&task, &TaskSpecification::message, qApp, [&task, &downloads](const QString& text) {
        if (text == QLatin1String("Downloading files"))
            downloads = task.specifications().downloadCount();
    });
    QTimer logFlush;
    QObject::connect(&logFlush, &QTimer::timeout, qApp, flush);
    logFlush.start(100);

    const long idle = currentRssKib();
    const double seconds = runTask(task);
    flush();
    report(seconds, idle, downloads, task.specifications().replaceList.size(), task.state == Finished);
    return task.state == Finished ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    EventDispatcherChoice dispatcherChoice;
    QCoreApplication app(argc, argv);
    dispatcherChoice.applicationCreated();
    const QStringList args = app.arguments();
    if (args.size() == 5 && args.at(1) == QLatin1String("compile"))
        return runCompile(args.at(2), args.at(3), args.at(4));
    if (args.size() == 6 && args.at(1) == QLatin1String("update"))
        return runUpdate(args.at(2), args.at(3), args.at(4), args.at(5).toInt());
    QTextStream(stderr)
        << "usage: updatebench compile <installation dir> <temporary dir> <update type>\n"
           "       updatebench update <installation dir> <temporary dir> <update type> <version>\n";
    return 2;
}
