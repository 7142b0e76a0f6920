#include "transfer/transferengine.h"
#include "demosigner.h"
#include "filetree.h"
#include "installfixture.h"
#include "productinifile.h"
#include "releasefixture.h"
#include "releasepublisher.h"
#include "transfer/mirrors.h"
#include "update/digestcache.h"
#include "update/downloadfilelisttaskspecification.h"
#include "update/inidownloadtaskspecification.h"
#include "update/maintaskspecification.h"
#include "tasks/asynctaskspecification.h"
#include "verify/cryptwrapper.h"

#include <QDirIterator>
#include <QSemaphore>
#include <QSignalSpy>
#include <QThreadPool>
#include <QtTest>

using ReleaseFixture::Tree;

namespace {

const QString updateType = QStringLiteral("client_linux_amd64");
const QString iniPath = QStringLiteral("2/client_linux_amd64.ini");
const QString sigPath = iniPath + QStringLiteral(".sig");
const QString filePath = QStringLiteral("2/files/vx3client_linux_amd64");
const QString packedPath = QStringLiteral("2/files/docs/readme.txt.gz");
constexpr int TickIntervalMs = 50;
constexpr int MaxTicks = 400;

enum Misbehaviour {
    EndlessAnnouncingMore,
    EndlessWithoutLength,
    MoreThanAnnounced,
    FarMoreThanListed,
    Trickle,
    SlowTrickle,
    RedirectLoop,
    GzipLabel,
    Status401,
    Status404,
    Status500,
    ClosedMidway,
    OversizedBody,
    OversizedAnnounced,
    ReplayedOlderRelease,
    OtherTypesRelease,
    UnboundRelease,
    CorruptPart,
};

Tree versionOne()
{
    return {
        { "vx3client_runscript.sh", "#!/bin/sh\nexec ./vx3client_linux_amd64 \"$@\"\n" },
        { "vx3client_linux_amd64", ReleaseFixture::bytes(200000, 1) },
        { "docs/readme.txt", QByteArray("Read me.\n").repeated(300) },
    };
}

Tree versionTwo()
{
    Tree tree = versionOne();
    tree["vx3client_linux_amd64"] = ReleaseFixture::bytes(210000, 11);
    tree["docs/readme.txt"] = QByteArray("Read me again.\n").repeated(300);
    return tree;
}

} // namespace

// Whole update runs from version 1 to 2 while mirrors misbehave. Each row
// makes the first request of one path misbehave (or every request of it),
// so the branch is taken on every run whichever mirror is drawn.
class TestHostileMirrors : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void misbehavingMirror_data();
    void misbehavingMirror();
    void failedCheckAfterTheListEndedFetchesNothing();
};

void TestHostileMirrors::initTestCase()
{
    SKIP_UNLESS_DEMO_KEY();
    crypt_init();
}

void TestHostileMirrors::misbehavingMirror_data()
{
    QTest::addColumn<int>("misbehaviour");
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("everyRequest");
    QTest::addColumn<int>("endState");
    QTest::addColumn<bool>("struckOff");
    QTest::addColumn<QString>("logged");

    const QString tooLong = QStringLiteral("more than the");
    QTest::newRow("endless body announcing more than listed")
        << int(EndlessAnnouncingMore) << filePath << false << int(Finished) << true << tooLong;
    QTest::newRow("endless body without length")
        << int(EndlessWithoutLength) << filePath << false << int(Finished) << true << tooLong;
    QTest::newRow("endless body from every mirror")
        << int(EndlessWithoutLength) << filePath << true << int(ErrorCanceled) << true << tooLong;
    QTest::newRow("more than announced")
        << int(MoreThanAnnounced) << filePath << false << int(Finished) << false << QString();
    QTest::newRow("far more than listed")
        << int(FarMoreThanListed) << filePath << false << int(Finished) << true << tooLong;
    QTest::newRow("trickle below the minimum rate")
        << int(Trickle) << filePath << false << int(Finished) << false << "stalled on mirror";
    QTest::newRow("trickle above the stall rule, below the least rate")
        << int(SlowTrickle) << filePath << false << int(Finished) << false << "too slow on mirror";
    QTest::newRow("redirect loop") << int(RedirectLoop) << filePath << false << int(Finished) << true
                                   << "returned 302";
    QTest::newRow("gzip label on a packed file")
        << int(GzipLabel) << packedPath << true << int(Finished) << false << QString();
    QTest::newRow("401") << int(Status401) << filePath << false << int(Finished) << true << QString();
    QTest::newRow("404") << int(Status404) << filePath << false << int(Finished) << true << "returned 404";
    QTest::newRow("500") << int(Status500) << filePath << false << int(Finished) << true << "returned 500";
    QTest::newRow("connection closed midway")
        << int(ClosedMidway) << filePath << false << int(Finished) << false << QString();
    QTest::newRow("oversized signature")
        << int(OversizedBody) << sigPath << false << int(Finished) << true << "more than the 4096";
    QTest::newRow("oversized product ini")
        << int(OversizedAnnounced) << iniPath << false << int(Finished) << true << "more than the 67108864";
    QTest::newRow("replayed older ini") << int(ReplayedOlderRelease) << iniPath << false << int(Finished)
                                        << true << "released for client_linux_amd64 version 1, not";
    QTest::newRow("replayed older ini from every mirror")
        << int(ReplayedOlderRelease) << iniPath << true << int(ErrorCanceled) << true << "released for";
    QTest::newRow("another type's ini") << int(OtherTypesRelease) << iniPath << false << int(Finished) << true
                                        << "released for client_linux_i386 version 2, not";
    QTest::newRow("corrupt part kept from an earlier run")
        << int(CorruptPart) << filePath << false << int(Finished) << false << "failed after resuming";
    // Kept under the file's own name.
    QTest::newRow("corrupt part of a small file kept from an earlier run")
        << int(CorruptPart) << packedPath << false << int(Finished) << false << "failed after resuming";
    // Signed, but for any release at all.
    QTest::newRow("unbound ini") << int(UnboundRelease) << iniPath << true << int(ErrorCanceled) << true
                                 << "records no release type and version (an unbound release); refusing it";
}

void TestHostileMirrors::misbehavingMirror()
{
    QFETCH(int, misbehaviour);
    QFETCH(QString, target);
    QFETCH(bool, everyRequest);
    QFETCH(int, endState);
    QFETCH(bool, struckOff);
    QFETCH(QString, logged);

    const QStringList names { "m1", "m2", "m3" };
    InstallFixture fixture(names);
    QVERIFY(fixture.isValid() && fixture.writeMirrorsIni());
    const QString one = fixture.work.filePath("source-1");
    const QString two = fixture.work.filePath("source-2");
    const QStringList packed { "*.txt" };
    QVERIFY(ReleaseFixture::writeTree(one, versionOne()) && ReleaseFixture::writeTree(two, versionTwo()));
    QVERIFY(ReleaseFixture::publish(one, fixture.mirrorRoot, 1, packed));
    QVERIFY(ReleaseFixture::publish(two, fixture.mirrorRoot, 2, packed));
    QVERIFY(ReleaseFixture::writeTree(fixture.install, versionOne()));
    const QMap<QString, QString> before
        = ReleaseFixture::contents(fixture.install, { "mirrors.ini", DigestCache::fileName() });

    // The release a misbehaving mirror serves in place of version 2's ini.
    QString substitute;
    if (misbehaviour == ReplayedOlderRelease) {
        substitute = fixture.mirrorRoot + "/1/client_linux_amd64.ini";
    } else if (misbehaviour == OtherTypesRelease) {
        ReleasePublisher::Options options;
        options.sourceDir = two;
        options.outputDir = fixture.work.filePath("other");
        options.version = 2;
        options.updateType = "client_linux_i386";
        options.privateKeyPath = DemoSigner::privateKeyPem();
        options.packPatterns = packed;
        ReleasePublisher publisher(options);
        QVERIFY2(publisher.publish(), qPrintable(publisher.errorString()));
        substitute = options.outputDir + "/2/client_linux_i386.ini";
    } else if (misbehaviour == UnboundRelease) {
        QByteArray ini = FileTree::read(fixture.mirrorRoot + "/" + iniPath);
        ini.replace(".voxmeadow-release\\client_linux_amd64\\2=\n", "");
        substitute = fixture.work.filePath("unbound.ini");
        QVERIFY(FileTree::write(substitute, ini) && DemoSigner::signFile(substitute));
    }

    // The most each file may ever hold: its listed size, or the fixed caps.
    ProductIniFile listed;
    QString error;
    QVERIFY(listed.read(fixture.mirrorRoot + "/" + iniPath, &error));
    QHash<QString, qint64> limits { { "client_linux_amd64.ini", 64 * 1024 * 1024 },
        { "client_linux_amd64.ini.sig", 4096 }, { "client_linux_amd64.patches", 64 * 1024 * 1024 },
        { "client_linux_amd64.patches.sig", 4096 },
        { "client_linux_amd64.manifest",
            IniDownloadTaskSpecification::manifestSizeLimit(
                QFileInfo(fixture.mirrorRoot + "/" + iniPath).size()) } };
    for (const ProductIniEntry& entry : std::as_const(listed.entries))
        limits.insert(entry.download.fileName, entry.download.size);

    // What a run killed halfway left, but damaged.
    if (misbehaviour == CorruptPart) {
        const QString name = target.section('/', 2);
        const InstallationLayout layout(fixture.install, fixture.tmp);
        const qint64 size = limits.value(name);
        QVERIFY(FileTree::write(size > 64 * 1024 ? layout.partialPath(name) : layout.downloadedPath(name),
            QByteArray(int(size / 2), 'x')));
    }

    QHash<QString, int> served;
    fixture.intercept = [&](const QString& path, HttpTestServer::Response response) {
        const bool sigOfSubstitute = !substitute.isEmpty() && path == sigPath;
        if (path != target && !sigOfSubstitute)
            return response;
        if (++served[path] > 1 && !everyRequest)
            return response;
        const qint64 size = response.body.size();
        switch (Misbehaviour(misbehaviour)) {
        case EndlessAnnouncingMore:
            response.endless = true;
            response.announcedLength = 10 * size;
            break;
        case EndlessWithoutLength:
            response.endless = true;
            response.sendContentLength = false;
            break;
        case MoreThanAnnounced:
            response.announcedLength = size;
            response.body += QByteArray(size, 'x');
            break;
        case FarMoreThanListed: response.body = response.body.repeated(100); break;
        case Trickle: response.dripChunk = 10; break;
        // 1200 bytes over the stall rule's 15 ticks, 2400 over 30.
        case SlowTrickle: response.dripChunk = 80; break;
        case RedirectLoop: response = HttpTestServer::Response::redirect(("/m1/" + path).toUtf8()); break;
        case GzipLabel:
            response.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("gzip")));
            break;
        case Status401:
        case Status404:
        case Status500:
            response = HttpTestServer::Response::withStatus(misbehaviour == Status401 ? 401
                    : misbehaviour == Status404                                       ? 404
                                                                                      : 500);
            break;
        case ClosedMidway: response.closeAfter = size / 2; break;
        case OversizedBody:
            response.body = QByteArray(5000, 's');
            response.sendContentLength = false;
            break;
        case OversizedAnnounced:
            response.announcedLength = 65 * 1024 * 1024;
            response.stallAfter = 0;
            break;
        case CorruptPart: break;
        case ReplayedOlderRelease:
        case OtherTypesRelease:
        case UnboundRelease:
            response.body = FileTree::read(sigOfSubstitute ? substitute + ".sig" : substitute);
            break;
        }
        return response;
    };

    TransferEngine manager;
    Mirrors mirrors;
    mirrors.initDefault(fixture.install + "/mirrors.ini", 2);
    MainTaskSpecification task(
        DownloadContext { &manager, &mirrors, InstallationLayout(fixture.install, fixture.tmp) }, updateType,
        2, 3, nullptr, 1.0);
    QSignalSpy ends(&task, &TaskSpecification::canceled);
    QSignalSpy finished(&task, &TaskSpecification::finished);
    QSignalSpy messages(&task, &TaskSpecification::message);

    // Every write of a download reports progress at once: look at the files then.
    QHash<QString, qint64> largest;
    const auto measure = [&] {
        QDirIterator it(fixture.tmp, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            it.next();
            // A part kept beside its download name counts as that file.
            const QString name = QDir(fixture.tmp)
                                     .relativeFilePath(it.filePath())
                                     .remove(InstallationLayout::newFilePrefix());
            largest[name] = qMax(largest.value(name), it.fileInfo().size());
        }
    };
    connect(&task, &TaskSpecification::updateProgress, this, measure);
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        fixture.server.drip();
        quint64 done = 0, total = 0, speed = 0;
        bool downloading = false;
        task.timeTick(done, total, speed, downloading);
        measure();
        ++ticks;
    });
    ticker.start(TickIntervalMs);
    task.execute();
    QVERIFY2(QTest::qWaitFor([&] { return ends.count() + finished.count() > 0 || ticks > MaxTicks; },
                 (MaxTicks + 100) * TickIntervalMs * 2),
        "the run did not end");
    ticker.stop();
    QStringList log;
    for (const QList<QVariant>& arguments : std::as_const(messages))
        log << arguments.at(0).toString();

    QVERIFY2(ticks <= MaxTicks, qPrintable(QString::number(ticks)));
    QCOMPARE(ends.count() + finished.count(), 1);
    QCOMPARE(int(task.state), endState);
    QCOMPARE(ReleaseFixture::contents(fixture.install, { "mirrors.ini", DigestCache::fileName() }),
        endState == Finished ? ReleaseFixture::contents(two) : before);
    for (auto it = largest.cbegin(); it != largest.cend(); ++it) {
        QVERIFY2(limits.contains(it.key()), qPrintable(it.key()));
        QVERIFY2(
            it.value() <= limits.value(it.key()), qPrintable(it.key() + " " + QString::number(it.value())));
    }
    QVERIFY2(logged.isEmpty() || !log.filter(logged).isEmpty(), qPrintable(log.join('\n')));
    QVERIFY(!served.isEmpty());
    if (!everyRequest) {
        QString first;
        for (const QByteArray& request : fixture.server.requestedPaths()) {
            if (QUrl::fromPercentEncoding(request).section('/', 2) == target) {
                first = QUrl::fromPercentEncoding(request).section('/', 1, 1);
                break;
            }
        }
        QStringList left;
        for (const FTPSiteAccessData& mirror : mirrors.mirrorData())
            left << mirror.name;
        QCOMPARE(!left.contains(first), struckOff);
    }
}

void TestHostileMirrors::failedCheckAfterTheListEndedFetchesNothing()
{
    InstallFixture fixture({ "m1", "m2" });
    QVERIFY(fixture.isValid() && fixture.writeMirrorsIni(10));
    // Listed without a sum, so that a is checked against its signature on the
    // pool (a sum is checked as the file arrives).
    const QByteArray damaged(ASyncTaskSpecification::QUICK_FILE_SIZE + 1, 'd');
    QVERIFY(FileTree::write(fixture.mirrorRoot + "/1/files/a/a.bin", damaged));
    QVERIFY(FileTree::write(fixture.mirrorRoot + "/1/files/b/b.bin", "b"));
    fixture.intercept = [](const QString& path, HttpTestServer::Response response) {
        if (path.endsWith("b.bin"))
            response.stallAfter = 0;
        return response;
    };
    TransferEngine manager;
    Mirrors mirrors;
    mirrors.initDefault(fixture.install + "/mirrors.ini", 1);
    FileSpecifications lists;
    const auto listFile = [&lists](const QString& name, const ContentSum& md5, qint64 size) {
        FileReplaceSpecification record;
        record.section = "files";
        record.fileName = name;
        lists.replaceList.append(record);
        lists.listDownload(md5, size, nullptr);
    };
    listFile("a/a.bin", ContentSum(), damaged.size());
    listFile("b/b.bin", ContentSum::fromText(FileTree::md5Hex("b")), 1);
    DownloadFileListTaskSpecification task(&lists,
        DownloadContext { &manager, &mirrors, InstallationLayout(fixture.install, fixture.tmp) }, 2, nullptr,
        1.0);
    QSignalSpy messages(&task, &TaskSpecification::message);
    QSignalSpy ends(&task, &TaskSpecification::canceled);

    // The pool is kept busy, so that a's check waits until b has ended the list.
    QSemaphore started;
    QSemaphore gate;
    const int threads = QThreadPool::globalInstance()->maxThreadCount();
    for (int i = 0; i < threads; ++i)
        QThreadPool::globalInstance()->start([&] {
            started.release();
            gate.acquire();
        });
    started.acquire(threads);
    const auto openGate = qScopeGuard([&] { gate.release(threads); });
    task.execute();
    QTRY_VERIFY(messages.contains({ "Downloading files/a/a.bin finished" }));
    QTRY_COMPARE(fixture.server.requestCount(), 2);
    // b cannot be written any more: its next attempt ends the list.
    QVERIFY(QDir(fixture.tmp + "/b").removeRecursively() && FileTree::write(fixture.tmp + "/b", "a file"));
    for (int tick = 0; tick < 16; ++tick) {
        quint64 done = 0, total = 0, speed = 0;
        bool downloading = false;
        task.timeTick(done, total, speed, downloading);
    }
    QCOMPARE(ends.count(), 0);
    gate.release(threads);

    QTRY_COMPARE(ends.count(), 1);
    QCOMPARE(task.state, ErrorCanceled);
    QTRY_VERIFY(messages.contains({ "md5 sum for a/a.bin failed, invalidating mirror and retrying" }));
    QCOMPARE(fixture.server.requestCount("/m1/1/files/a/a.bin")
            + fixture.server.requestCount("/m2/1/files/a/a.bin"),
        1);
    QCOMPARE(messages.count({ "Downloading files/a/a.bin" }), 1);
}

QTEST_GUILESS_MAIN(TestHostileMirrors)
#include "tst_hostilemirrors.moc"
