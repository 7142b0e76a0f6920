// Benchmark driver: fetches one file with DownloadTaskSpecification, or runs
// the MD5 check on one file, and prints the elapsed time and peak memory.
//
//   downloadbench download <mirror base url> <remote path> <local file> [<CA file>]
//   downloadbench md5 <file> <expected md5>   (an empty sum checks <file>.sig)
//
// Output: one line "seconds=<s> bytes=<n> maxrss_kib=<k> ok=<0|1>".

#include "tasks/eventdispatcherchoice.h"
#include "transfer/transferengine.h"
#include "benchsupport.h"
#include "verify/checksigfunc.h"
#include "verify/cryptwrapper.h"
#include "transfer/downloadtaskspecification.h"
#include "transfer/mirrors.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

void report(double seconds, qint64 bytes, bool ok)
{
    QTextStream(stdout) << "seconds=" << seconds << " bytes=" << bytes << " maxrss_kib=" << maxRssKib()
                        << " ok=" << (ok ? 1 : 0) << Qt::endl;
}

int runDownload(
    const QString& baseUrl, const QString& remotePath, const QString& localPath, const QString& caFile)
{
    QTemporaryDir dir;
    const QString iniPath = dir.filePath(QStringLiteral("mirrors.ini"));
    {
        QFile ini(iniPath);
        if (!ini.open(QIODevice::WriteOnly))
            return 2;
        // The version directory is "0": the script serves the files below /0/.
        ini.write("[mirrors]\nsize=1\n1\\mirror=bench\n[bench]\nurl=" + baseUrl.toUtf8() + "\n");
    }
    Mirrors mirrors;
    mirrors.initDefault(iniPath, 0);
    TransferEngine manager;
    if (!caFile.isEmpty()) {
        QFile ca(caFile);
        if (!ca.open(QIODevice::ReadOnly))
            return 2;
        manager.setExtraCertificates(ca.readAll());
    }
    DownloadTaskSpecification task(&manager, &mirrors, remotePath, localPath, -1, nullptr, 1.0);

    QObject::connect(&task, &TaskSpecification::message, qApp,
        [](const QString& text) { QTextStream(stderr) << text << Qt::endl; });

    const double seconds = runTask(task);
    report(seconds, QFileInfo(localPath).size(), task.state == Finished);
    return task.state == Finished ? 0 : 1;
}

int runMd5(const QString& path, const QString& md5)
{
    crypt_init();
    CheckSigFunc check(path, FileCheck::md5Digest(md5));
    QElapsedTimer timer;
    timer.start();
    const bool ok = check.run();
    report(timer.nsecsElapsed() / 1e9, QFileInfo(path).size(), ok);
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    EventDispatcherChoice dispatcherChoice;
    QCoreApplication app(argc, argv);
    dispatcherChoice.applicationCreated();
    const QStringList args = app.arguments();
    if ((args.size() == 5 || args.size() == 6) && args.at(1) == QLatin1String("download"))
        return runDownload(args.at(2), args.at(3), args.at(4), args.value(5));
    if (args.size() == 4 && args.at(1) == QLatin1String("md5"))
        return runMd5(args.at(2), args.at(3));
    QTextStream(stderr) << "usage: downloadbench download <base url> <remote path> <local file> [<CA file>]\n"
                           "       downloadbench md5 <file> <md5>\n";
    return 2;
}
