#include "transfer/transferengine.h"
#include "manifest/installationlayout.h"
#include "demosigner.h"
#include "verify/checksignaturetaskspecification.h"
#include "verify/cryptwrapper.h"
#include "transfer/downloadtaskspecification.h"
#include "update/inidownloadtaskspecification.h"
#include "transfer/mirrors.h"
#include "filetree.h"
#include "httptestserver.h"
#include "installfixture.h"
#include "taskrun.h"

#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

namespace {

constexpr int VERSION = 12;
const QString updateType = QStringLiteral("client_linux_amd64");
const QByteArray iniPath = "/m/12/client_linux_amd64.ini";
const QByteArray sigPath = "/m/12/client_linux_amd64.ini.sig";
const QByteArray manifestPath = "/m/12/client_linux_amd64.manifest";
const QByteArray productIni("[bin]\nclient=00112233445566778899aabbccddeeff::2048\n");

} // namespace

class TestIniDownload : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void reusesLocalFiles_data();
    void reusesLocalFiles();
    void failedVerificationFetchesBothAgain();
    void resetAllowsReuseAgain();
    void misSignedReleaseStrikesItsMirrors_data();
    void misSignedReleaseStrikesItsMirrors();
    void downloadGivingUpCancels();
    void userCancelDuringFailingCheckStops();
    void runsAgainAfterFailedRun();
    void attemptPastItsDeadlineCountsAgainstItsMirror_data();
    void attemptPastItsDeadlineCountsAgainstItsMirror();

private:
    void writeLocal(const QString& name, const QByteArray& content);
    IniDownloadTaskSpecification* makeTask(int version = 1);

    HttpTestServer* server = nullptr;
    TransferEngine* manager = nullptr;
    Mirrors* mirrors = nullptr;
    InstallationLayout layout;
    QTemporaryDir* tempDir = nullptr;
    QByteArray goodSignature;
};

void TestIniDownload::initTestCase()
{
    SKIP_UNLESS_DEMO_KEY();
    crypt_init();
    goodSignature = DemoSigner::sign(productIni);
    QCOMPARE(goodSignature.size(), 128);
}

void TestIniDownload::init()
{
    server = new HttpTestServer(this);
    QVERIFY(server->listen());
    server->setResponse(iniPath, HttpTestServer::Response::ok(productIni));
    server->setResponse(sigPath, HttpTestServer::Response::ok(goodSignature));
    manager = new TransferEngine(this);
    tempDir = new QTemporaryDir;
    QVERIFY(tempDir->isValid());

    const QString mirrorList = tempDir->filePath(QStringLiteral("mirrors.ini"));
    QVERIFY(FileTree::write(mirrorList, mirrorsIni({ QStringLiteral("m") }, server->baseUrl(), 1000)));
    mirrors = new Mirrors;
    QVERIFY(mirrors->initDefault(mirrorList, VERSION));

    layout = InstallationLayout(tempDir->path(), tempDir->filePath(QStringLiteral("download")));
    QVERIFY(QDir().mkpath(layout.tempDir()));
}

void TestIniDownload::cleanup()
{
    qDeleteAll(findChildren<IniDownloadTaskSpecification*>(Qt::FindDirectChildrenOnly));
    // Discarded subtasks go with deleteLater; let them go before the manager.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    delete mirrors;
    delete manager;
    delete server;
    delete tempDir;
}

void TestIniDownload::writeLocal(const QString& name, const QByteArray& content)
{
    QVERIFY(FileTree::write(layout.downloadedPath(name), content));
}

IniDownloadTaskSpecification* TestIniDownload::makeTask(int version)
{
    auto* task = new IniDownloadTaskSpecification(
        DownloadContext { manager, mirrors, layout }, updateType, version, this, 1.0);
    // The product ini's own rounds, without release keys: the manifest's
    // rules are the update runs' to show. The inis here are written by
    // hand, without their type and version, as legacy releases are.
    ReleaseTrust trust;
    trust.legacyBelow = 2;
    task->setTrust(trust);
    return task;
}

void TestIniDownload::reusesLocalFiles_data()
{
    QTest::addColumn<bool>("iniPresent");
    QTest::addColumn<bool>("sigPresent");
    QTest::addColumn<QList<double>>("weights");

    QTest::newRow("none present") << false << false << QList<double> { 0.3333, 0.3333, 0.3334 };
    QTest::newRow("ini present") << true << false << QList<double> { 0.3333, 0.6667 };
    QTest::newRow("signature present") << false << true << QList<double> { 0.3333, 0.6667 };
    QTest::newRow("both present") << true << true << QList<double> { 1.0 };
}

void TestIniDownload::reusesLocalFiles()
{
    QFETCH(bool, iniPresent);
    QFETCH(bool, sigPresent);
    QFETCH(QList<double>, weights);

    if (iniPresent)
        writeLocal(updateType + ".ini", productIni);
    if (sigPresent)
        writeLocal(updateType + ".ini.sig", goodSignature);
    IniDownloadTaskSpecification* task = makeTask();
    TaskSpies spies(task);
    task->execute();

    QCOMPARE(task->subTasks().size(), weights.size());
    for (int i = 0; i < weights.size(); ++i)
        QVERIFY2(qFuzzyCompare(task->subTasks().at(i)->parentProgressRange, weights.at(i)),
            qPrintable(QString::number(i)));
    QVERIFY(qobject_cast<CheckSignatureTaskSpecification*>(task->subTasks().last()));

    QVERIFY(spies.finished.wait(10000));
    QCOMPARE(spies.ends(), 1);
    QCOMPARE(task->state, Finished);
    QCOMPARE(task->progress, 1.0);
    QCOMPARE(server->requestCount(iniPath), iniPresent ? 0 : 1);
    QCOMPARE(server->requestCount(sigPath), sigPresent ? 0 : 1);
    QCOMPARE(spies.messageTexts().first(), QStringLiteral("Download / check product ini"));
}

void TestIniDownload::failedVerificationFetchesBothAgain()
{
    // Both files present, but the local ini was altered after signing.
    writeLocal(updateType + ".ini", productIni + "injected=1\n");
    writeLocal(updateType + ".ini.sig", goodSignature);
    IniDownloadTaskSpecification* task = makeTask();
    TaskSpies spies(task);
    task->execute();
    QCOMPARE(task->subTasks().size(), 1);

    QVERIFY(spies.finished.wait(10000));
    QCOMPARE(spies.ends(), 1);
    QCOMPARE(task->state, Finished);
    QCOMPARE(server->requestCount(iniPath), 1);
    QCOMPARE(server->requestCount(sigPath), 1);

    const QStringList texts = spies.messageTexts();
    const QString localIni = layout.downloadedPath(QStringLiteral("client_linux_amd64.ini"));
    QCOMPARE(texts.mid(0, 3),
        (QStringList { QStringLiteral("Download / check product ini"),
            QStringLiteral("Signature check failed for %1").arg(localIni),
            QStringLiteral("Could not verify the product ini file. Retrying") }));
    QCOMPARE(FileTree::read(localIni), productIni);
}

void TestIniDownload::resetAllowsReuseAgain()
{
    // A bad signature kept from an earlier attempt; the mirror serves the good one.
    writeLocal(updateType + ".ini", productIni);
    writeLocal(updateType + ".ini.sig", QByteArray(128, 'x'));
    IniDownloadTaskSpecification* task = makeTask();
    TaskSpies spies(task);
    task->execute();
    QVERIFY(spies.finished.wait(10000));
    QCOMPARE(server->requestCount(), 2);

    // After a reset the verified local files are reused again.
    task->reset();
    QCOMPARE(task->state, Idle);
    task->execute();
    QTRY_COMPARE(spies.finished.count(), 2);
    QCOMPARE(server->requestCount(), 2);
}

void TestIniDownload::misSignedReleaseStrikesItsMirrors_data()
{
    // An empty list of names stands for the Alpha channel's one mirror.
    QTest::addColumn<QStringList>("names");
    // How many mirrors, in the order they are first asked, sign badly.
    QTest::addColumn<int>("misSigned");
    QTest::addColumn<bool>("badLocalCopies");
    QTest::addColumn<int>("fetches");
    QTest::addColumn<int>("endState");
    // The version asked for (the legacy floor is 2; the inis name no
    // release) and the mirrors struck off.
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("struck");

    const QStringList three { "m1", "m2", "m3" };
    QTest::newRow("local copies and the only mirror")
        << QStringList { "m" } << 1 << true << 1 << int(ErrorCanceled) << 1 << 1;
    QTest::newRow("three mirrors, all mis-signed")
        << three << 3 << false << 3 << int(ErrorCanceled) << 1 << 3;
    QTest::newRow("the first of three asked") << three << 1 << false << 2 << int(Finished) << 1 << 1;
    QTest::newRow("alpha channel") << QStringList() << 1 << false << 1 << int(ErrorCanceled) << 1 << 1;
    // Signed well, but it could stand in for any release.
    QTest::newRow("unbound above the legacy floor, no release keys")
        << QStringList { "m" } << 0 << false << 1 << int(ErrorCanceled) << 2 << 1;
}

void TestIniDownload::misSignedReleaseStrikesItsMirrors()
{
    QFETCH(QStringList, names);
    QFETCH(int, misSigned);
    QFETCH(bool, badLocalCopies);
    QFETCH(int, fetches);
    QFETCH(int, endState);

    delete mirrors;
    mirrors = new Mirrors;
    const QString settings = tempDir->filePath(QStringLiteral("settings.ini"));
    if (names.isEmpty()) {
        QVERIFY(FileTree::write(settings, "[Channel]\nalpha=" + server->baseUrl().toUtf8() + "/alpha\n"));
        QVERIFY(mirrors->initAlpha(settings, VERSION));
    } else {
        // So many retries that only a strike can end a mirror.
        QVERIFY(FileTree::write(settings, mirrorsIni(names, server->baseUrl(), 1000)));
        QVERIFY(mirrors->initDefault(settings, VERSION));
    }
    if (badLocalCopies) {
        writeLocal(updateType + ".ini", productIni);
        writeLocal(updateType + ".ini.sig", QByteArray(128, 'x'));
    }
    server->clearResponse(iniPath);
    server->clearResponse(sigPath);
    QStringList asked;
    server->setHandler([&](const QByteArray& path) {
        const QString mirror = QString::fromUtf8(path).section('/', 1, 1);
        if (path.endsWith(".ini")) {
            if (!asked.contains(mirror))
                asked << mirror;
            return HttpTestServer::Response::ok(productIni);
        }
        const int rank = asked.indexOf(mirror);
        return HttpTestServer::Response::ok(
            rank >= 0 && rank < misSigned ? QByteArray(128, 'x') : goodSignature);
    });
    QFETCH(int, version);
    QFETCH(int, struck);
    IniDownloadTaskSpecification* task = makeTask(version);
    TaskSpies spies(task);
    task->execute();
    QTRY_COMPARE_WITH_TIMEOUT(spies.ends(), 1, 20000);
    QCOMPARE(int(task->state), endState);

    // Each signature comes from the mirror that served the ini before it.
    const QList<QByteArray> requests = server->requestedPaths();
    QCOMPARE(requests.size(), 2 * fetches);
    for (int i = 0; i < requests.size(); i += 2) {
        QVERIFY(requests.at(i).endsWith(".ini"));
        QCOMPARE(requests.at(i + 1), requests.at(i) + ".sig");
    }
    QCOMPARE(mirrors->mirrorData().size(), qMax(0, int(names.size()) - struck));
    const QStringList texts = spies.messageTexts();
    QCOMPARE(texts.count(QStringLiteral("Could not verify the product ini file. Aborting")),
        endState == Finished ? 0 : 1);
    QCOMPARE(texts.filter(QStringLiteral("failed its check, removing")).size(), struck);
    if (endState != Finished)
        QCOMPARE(texts.last(), QStringLiteral("Could not verify the product ini file. Aborting"));

    // The failed check's own end must not surface as a second outcome.
    // Deliver whatever the check's own end queued.
    QCoreApplication::processEvents();
    QCOMPARE(spies.ends(), 1);
}

void TestIniDownload::downloadGivingUpCancels()
{
    server->setResponse(iniPath, HttpTestServer::Response::withStatus(404));
    IniDownloadTaskSpecification* task = makeTask();
    TaskSpies spies(task);
    task->execute();
    QVERIFY(spies.canceled.wait(10000));
    QCOMPARE(task->state, ErrorCanceled);
    // The only mirror was struck off; the signature was never asked for.
    QVERIFY(mirrors->mirrorData().isEmpty());
    QCOMPARE(server->requestCount(iniPath), 1);
    QCOMPARE(server->requestCount(sigPath), 0);
}

void TestIniDownload::userCancelDuringFailingCheckStops()
{
    writeLocal(updateType + ".ini", productIni);
    writeLocal(updateType + ".ini.sig", QByteArray(128, 'x'));
    // Hold every pool thread, so that the check is running but has no result
    // yet when the user cancels.
    QThreadPool* pool = QThreadPool::globalInstance();
    QSemaphore gate;
    const int threads = pool->maxThreadCount();
    for (int i = 0; i < threads; ++i)
        pool->start([&gate] { gate.acquire(); });
    // The gate lives on this stack: no holder may still be waiting on it
    // when the test returns, whichever way it returns.
    const auto drain = qScopeGuard([&] {
        gate.release(threads);
        pool->waitForDone();
    });
    IniDownloadTaskSpecification* task = makeTask();
    TaskSpies spies(task);
    task->execute();
    QTRY_COMPARE(task->subTasks().last()->state, Running);
    task->userCanceled();
    gate.release(threads);
    QVERIFY(spies.canceled.wait(10000));
    QCOMPARE(task->state, UserCanceled);
    QCOMPARE(server->requestCount(), 0);
    // Deliver whatever the check's own end queued.
    QCoreApplication::processEvents();
    QCOMPARE(spies.ends(), 1);
}

void TestIniDownload::runsAgainAfterFailedRun()
{
    // The download directory is missing, so no local file can be created.
    QVERIFY(QDir(layout.tempDir()).removeRecursively());
    IniDownloadTaskSpecification* task = makeTask();
    TaskSpies spies(task);
    QSignalSpy errors(task, &TaskSpecification::error);
    task->execute();
    QVERIFY(spies.canceled.wait(10000));
    QCOMPARE(task->state, ErrorCanceled);
    QCOMPARE(errors.count(), 1);

    QVERIFY(QDir().mkpath(layout.tempDir()));
    task->reset();
    task->execute();
    QVERIFY(spies.finished.wait(10000));
    QCOMPARE(spies.ends(), 2);
    QCOMPARE(task->state, Finished);
}

void TestIniDownload::attemptPastItsDeadlineCountsAgainstItsMirror_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<qint64>("cap"); // bytes a second; 0: none
    QTest::addColumn<qint64>("deadlineMs");

    // A minute beside the bound at 32 KiB in 30 s: 4 KiB, and for the
    // manifest eight times the ini's 52 bytes and 64 KiB; the 64 MiB of the
    // ini reach the ten-minute ceiling.
    QTest::newRow("product ini") << iniPath << qint64(0) << qint64(600000);
    QTest::newRow("signature") << sigPath << qint64(0) << qint64(63750);
    QTest::newRow("manifest") << manifestPath << qint64(0) << qint64(120381);
    // The bound at a cap below the least rate; the ceiling still holds.
    QTest::newRow("product ini under a 1 KiB/s cap") << iniPath << qint64(1024) << qint64(600000);
}

void TestIniDownload::attemptPastItsDeadlineCountsAgainstItsMirror()
{
    QFETCH(QByteArray, path);
    QFETCH(qint64, cap);
    QFETCH(qint64, deadlineMs);

    qint64 now = 0;
    manager->setClock([&now] { return now; });
    manager->setMaxRate(cap);
    // The first answer is a head and then silence, which no other rule
    // ends within two ticks.
    HttpTestServer::Response silent = HttpTestServer::Response::ok(QByteArray(64, 's'));
    silent.stallAfter = 0;
    server->setResponse(path, silent);
    IniDownloadTaskSpecification* task = makeTask();
    if (path == manifestPath) {
        ReleaseTrust trust;
        trust.keys = { QByteArray(32, 'k') };
        task->setTrust(trust);
    }
    TaskSpies spies(task);
    task->execute();
    QTRY_COMPARE(server->requestCount(path), 1);
    // Then the file, or for the manifest any bytes.
    server->setResponse(path, HttpTestServer::Response::ok(path == sigPath ? goodSignature : productIni));
    const auto tickAt = [&](qint64 ms) {
        now = ms;
        quint64 done = 0, total = 0, speed = 0;
        bool downloading = false;
        task->timeTick(done, total, speed, downloading);
    };

    tickAt(deadlineMs);
    QCOMPARE(mirrors->mirrorData().first().errorCount, 0);
    tickAt(deadlineMs + 1);
    QCOMPARE(mirrors->mirrorData().first().errorCount, 1);
    QCOMPARE(spies.messageTexts().filter("not received within").join('\n'),
        QStringLiteral("file %1 not received within %2 s on mirror m")
            .arg(QString::fromUtf8(path.mid(6)))
            .arg((deadlineMs + 999) / 1000));
    QTRY_COMPARE(server->requestCount(path), 2);
}

QTEST_GUILESS_MAIN(TestIniDownload)
#include "tst_inidownload.moc"
