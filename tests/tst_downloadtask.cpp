#include "transfer/transferengine.h"
#include "transfer/downloadtaskspecification.h"
#include "transfer/mirrors.h"
#include "filetree.h"
#include "httptestserver.h"
#include "installfixture.h"
#include "taskrun.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int VERSION = 7;

using FileTree::pattern;

struct TickFigures
{
    quint64 done = 0;
    quint64 total = 0;
    quint64 speed = 0;
    bool downloading = false;
};

TickFigures tick(TaskSpecification& task)
{
    TickFigures figures;
    task.timeTick(figures.done, figures.total, figures.speed, figures.downloading);
    return figures;
}

// Limits the size of files this process may write, so that writing to disk
// fails at a known point.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previousHandler);
    }

private:
    rlimit saved {};
    void (*previousHandler)(int) = nullptr;
};

// How the server answers a request for bytes from a position on.
enum class RangeAnswer {
    Honoured,
    Ignored,
    OtherRange,
    Refused,
    Pause,
    TooLong,
    CutShort,
    // Every byte, then silence until the stall rule ends the attempt.
    WholeThenSilent,
    PauseThenShortened
};

} // namespace

class TestDownloadTask : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void downloadsBody_data();
    void downloadsBody();
    void fileNameIsRequestedAsWritten();
    void failingStatusStrikesMirror_data();
    void failingStatusStrikesMirror();
    void brokenTransferCountsError_data();
    void brokenTransferCountsError();
    void stallTimesOutAtSixteenthTick_data();
    void stallTimesOutAtSixteenthTick();
    void slowMirrorMovedAtThirtyFirstTick_data();
    void slowMirrorMovedAtThirtyFirstTick();
    void writeFailureRetriesUntilNoMirrorLeft();
    void uncreatableFileCancels();
    void cancelDuringTransfer_data();
    void cancelDuringTransfer();
    void busyMirrorWaitsForOtherTransfer();
    void cancelledWhileWaitingStaysCancelled();
    void noMirrorLeftCancels();
    void mirrorWithoutUrlUsesUpItsRetries();
    void keptPartIsContinued_data();
    void keptPartIsContinued();

private:
    // A registry of mirrors "a", "b", ... served below /a, /b, ... of the server.
    void makeMirrors(const QStringList& names, int retries = 2);
    void loadMirrors(const QByteArray& ini);
    QByteArray remoteUrlPath(const QString& mirror, const QString& file) const;
    DownloadTaskSpecification* makeTask(const QString& remotePath, qint64 expectedSize = -1);
    // Downloads of first.bin and second.bin from the one mirror "a"; the
    // transfer of first.bin stalls after 1000 bytes until released.
    std::pair<DownloadTaskSpecification*, DownloadTaskSpecification*> twoTasksOnOneMirror();
    int totalUseCount() const;
    // Drips bytesPerTick at each tick, each piece held heldMs by a cap, and
    // expects the attempt judged at judgedTick with logText, or kept.
    void dripUntilJudged(int bytesPerTick, int heldMs, int judgedTick, const QString& logText);

    HttpTestServer* server = nullptr;
    TransferEngine* manager = nullptr;
    Mirrors* mirrors = nullptr;
    QTemporaryDir* tempDir = nullptr;
    int iniCounter = 0;
};

void TestDownloadTask::init()
{
    server = new HttpTestServer(this);
    QVERIFY(server->listen());
    manager = new TransferEngine(this);
    tempDir = new QTemporaryDir;
    QVERIFY(tempDir->isValid());
}

void TestDownloadTask::cleanup()
{
    // Tasks first: they hold replies of the manager and mirrors of the registry.
    qDeleteAll(findChildren<DownloadTaskSpecification*>(Qt::FindDirectChildrenOnly));
    delete mirrors;
    mirrors = nullptr;
    delete manager;
    delete server;
    delete tempDir;
}

void TestDownloadTask::makeMirrors(const QStringList& names, int retries)
{
    loadMirrors(mirrorsIni(names, server->baseUrl(), retries));
}

void TestDownloadTask::loadMirrors(const QByteArray& ini)
{
    const QString path = tempDir->filePath(QStringLiteral("mirrors%1.ini").arg(++iniCounter));
    QVERIFY(FileTree::write(path, ini));
    mirrors = new Mirrors;
    QVERIFY(mirrors->initDefault(path, VERSION));
}

QByteArray TestDownloadTask::remoteUrlPath(const QString& mirror, const QString& file) const
{
    return QStringLiteral("/%1/%2/%3").arg(mirror).arg(VERSION).arg(file).toUtf8();
}

DownloadTaskSpecification* TestDownloadTask::makeTask(const QString& remotePath, qint64 expectedSize)
{
    return new DownloadTaskSpecification(
        manager, mirrors, remotePath, tempDir->filePath(remotePath), expectedSize, this, 0.5);
}

std::pair<DownloadTaskSpecification*, DownloadTaskSpecification*> TestDownloadTask::twoTasksOnOneMirror()
{
    makeMirrors({ "a" });
    HttpTestServer::Response first = HttpTestServer::Response::ok(pattern(3000));
    first.stallAfter = 1000;
    server->setResponse(remoteUrlPath("a", "first.bin"), first);
    server->setResponse(remoteUrlPath("a", "second.bin"), HttpTestServer::Response::ok(pattern(2000)));
    return { makeTask("first.bin"), makeTask("second.bin") };
}

int TestDownloadTask::totalUseCount() const
{
    int capacity = 0;
    int inUse = 0;
    mirrors->calcUseStats(capacity, inUse);
    return inUse;
}

void TestDownloadTask::downloadsBody_data()
{
    QTest::addColumn<HttpTestServer::Response>("response");
    QTest::addColumn<qint64>("expectedSize");
    QTest::addColumn<quint64>("reportedTotal");
    QTest::addColumn<bool>("progressBeforeEnd");

    const QByteArray body = pattern(300 * 1024);
    const quint64 bodySize = quint64(body.size());
    HttpTestServer::Response plain = HttpTestServer::Response::ok(body);
    QTest::newRow("length announced, size unknown") << plain << qint64(-1) << bodySize << true;

    HttpTestServer::Response noLength = plain;
    noLength.sendContentLength = false;
    QTest::newRow("no length, size unknown") << noLength << qint64(-1) << quint64(0) << false;
    QTest::newRow("no length, size known") << noLength << qint64(body.size()) << bodySize << true;
    QTest::newRow("announced length ignored when size known")
        << plain << qint64(2 * body.size()) << quint64(2 * body.size()) << true;

    HttpTestServer::Response drip = HttpTestServer::Response::ok(pattern(6000));
    drip.dripChunk = 1000;
    drip.dripIntervalMs = 5;
    QTest::newRow("slow drip") << drip << qint64(-1) << quint64(6000) << true;
}

void TestDownloadTask::downloadsBody()
{
    QFETCH(HttpTestServer::Response, response);
    QFETCH(qint64, expectedSize);
    QFETCH(quint64, reportedTotal);
    QFETCH(bool, progressBeforeEnd);

    makeMirrors({ "a" });
    server->setResponse(remoteUrlPath("a", "dir/file.bin"), response);
    QVERIFY(QDir(tempDir->path()).mkpath("dir"));
    DownloadTaskSpecification* task = makeTask("dir/file.bin", expectedSize);
    TaskSpies spies(task);

    task->execute();
    QCOMPARE(task->state, Running);
    QVERIFY(spies.finished.wait(10000));
    QCOMPARE(spies.canceled.count(), 0);
    QCOMPARE(task->state, Finished);
    QCOMPARE(spies.messages.count(), 2);
    QCOMPARE(spies.message(0), QStringLiteral("Downloading dir/file.bin"));
    QCOMPARE(spies.message(1), QStringLiteral("Downloading dir/file.bin finished"));

    QCOMPARE(FileTree::read(tempDir->filePath("dir/file.bin")), response.body);
    // A plain GET that asks for no content coding.
    const QList<QByteArray> head = server->requestHeads().first().split('\n');
    QVERIFY(head.first().startsWith("GET /a/7/dir/file.bin HTTP/1.1"));
    QVERIFY(server->requestHeads().first().contains("\r\nAccept-Encoding: identity"));

    // Progress stays within the task's weight and ends at it.
    bool sawIntermediate = false;
    for (const QList<QVariant>& values : std::as_const(spies.progress)) {
        const double value = values.first().toDouble();
        QVERIFY2(value >= 0.0 && value <= 0.5, qPrintable(QString::number(value)));
        if (value > 0.0 && value < 0.5)
            sawIntermediate = true;
    }
    QCOMPARE(spies.progress.last().first().toDouble(), 0.5);
    if (!progressBeforeEnd)
        QVERIFY(!sawIntermediate);

    QCOMPARE(totalUseCount(), 0);
    QCOMPARE(task->getCurrentMirror().name, QStringLiteral("a"));
    const TickFigures first = tick(*task);
    QCOMPARE(first.done, quint64(response.body.size()));
    QCOMPARE(first.total, reportedTotal);
    QCOMPARE(first.speed, quint64(response.body.size()));
    QVERIFY(!first.downloading);
    const TickFigures second = tick(*task);
    QCOMPARE(second.done, quint64(response.body.size()));
    QCOMPARE(second.speed, quint64(0));

    // The mirror was returned once; a reset must not return it again.
    task->reset();
    QCOMPARE(mirrors->mirrorData().first().useCount, 0);
    QVERIFY(QFile::exists(tempDir->filePath("dir/file.bin")));
}

void TestDownloadTask::fileNameIsRequestedAsWritten()
{
    // Characters that mean something in a URL are part of the name here.
    const QString name = QStringLiteral("dir/Read me #1 [a+b]?%41 \u00fc.txt");
    makeMirrors({ "a" });
    const QByteArray body = pattern(3000);
    server->setHandler([&](const QByteArray& path) {
        return QUrl::fromPercentEncoding(path) == QStringLiteral("/a/%1/%2").arg(VERSION).arg(name)
            ? HttpTestServer::Response::ok(body)
            : HttpTestServer::Response::withStatus(404);
    });
    QVERIFY(QDir(tempDir->path()).mkpath("dir"));
    DownloadTaskSpecification* task = makeTask(name);
    TaskSpies spies(task);
    task->execute();
    QTRY_COMPARE(spies.ends(), 1);
    QCOMPARE(task->state, Finished);
    QCOMPARE(mirrors->mirrorData().size(), 1);
    QCOMPARE(FileTree::read(tempDir->filePath(name)), body);
}

void TestDownloadTask::failingStatusStrikesMirror_data()
{
    QTest::addColumn<HttpTestServer::Response>("failure");
    QTest::addColumn<QString>("logText");
    // The user information of the mirrors' addresses; empty: none.
    QTest::addColumn<QString>("userInfo");

    QTest::newRow("302") << HttpTestServer::Response::redirect("/elsewhere/file.bin")
                         << QStringLiteral("returned 302") << QString();
    QTest::newRow("404") << HttpTestServer::Response::withStatus(404) << QStringLiteral("returned 404")
                         << QString();
    QTest::newRow("500") << HttpTestServer::Response::withStatus(500) << QStringLiteral("returned 500")
                         << QString();
    QTest::newRow("401") << HttpTestServer::Response::withStatus(401) << QString() << QString();
    HttpTestServer::Response unasked = HttpTestServer::Response::ok(pattern(5000));
    unasked.status = 206;
    QTest::newRow("206 to a request without range") << unasked << QStringLiteral("returned 206") << QString();
    // The expected size is 5000 bytes: one more is refused, announced or sent.
    HttpTestServer::Response longer = HttpTestServer::Response::ok(pattern(5001));
    longer.sendContentLength = false;
    QTest::newRow("one byte more than expected")
        << longer << QStringLiteral("more than the 5000 expected") << QString();
    HttpTestServer::Response announced = HttpTestServer::Response::ok(pattern(5000));
    announced.announcedLength = 5001;
    announced.stallAfter = 0;
    QTest::newRow("one byte more announced")
        << announced << QStringLiteral("more than the 5000 expected") << QString();
    HttpTestServer::Response endless = HttpTestServer::Response::ok(pattern(64 * 1024));
    endless.endless = true;
    endless.sendContentLength = false;
    QTest::newRow("endless body") << endless << QStringLiteral("more than the 5000 expected") << QString();
    // Used for the requests, never shown.
    QTest::newRow("404 from mirrors whose addresses hold credentials")
        << HttpTestServer::Response::withStatus(404) << QStringLiteral("returned 404")
        << QStringLiteral("user:secret");
}

void TestDownloadTask::failingStatusStrikesMirror()
{
    QFETCH(HttpTestServer::Response, failure);
    QFETCH(QString, logText);
    QFETCH(QString, userInfo);

    QString base = server->baseUrl();
    if (!userInfo.isEmpty())
        base.insert(base.indexOf("//") + 2, userInfo + '@');
    loadMirrors(mirrorsIni({ "a", "b" }, base, 5));
    const QByteArray body = pattern(5000);
    bool failed = false;
    server->setHandler([&](const QByteArray& path) {
        if (path.startsWith("/elsewhere"))
            return HttpTestServer::Response::ok("redirect target");
        if (!failed) {
            failed = true;
            return failure;
        }
        return HttpTestServer::Response::ok(body);
    });
    DownloadTaskSpecification* task = makeTask("file.bin", body.size());
    TaskSpies spies(task);
    qint64 largest = 0;
    connect(task, &TaskSpecification::updateProgress, this,
        [&] { largest = qMax(largest, QFileInfo(tempDir->filePath("file.bin")).size()); });
    task->execute();
    QVERIFY(spies.finished.wait(10000));
    QVERIFY(largest <= body.size());

    const QList<QByteArray> paths = server->requestedPaths();
    // The network layer may send a request again itself when its connection
    // closes at the end of a body without length.
    QVERIFY(paths.size() >= 2);
    const QString failedMirror = QString::fromUtf8(paths.first().mid(1, 1));
    const QString goodMirror = QString::fromUtf8(paths.last().mid(1, 1));
    QVERIFY(failedMirror != goodMirror);
    // Struck off at once, whatever its retries.
    QCOMPARE(mirrors->getMirrorIndex(failedMirror), -1);
    QCOMPARE(mirrors->mirrorData().size(), 1);
    QCOMPARE(server->requestCount("/elsewhere/file.bin"), 0);

    QCOMPARE(spies.messages.count(), 3);
    const QString failureText = spies.message(1);
    if (!logText.isEmpty()) {
        const QString url
            = QStringLiteral("%1/%2/%3/file.bin ").arg(server->baseUrl(), failedMirror).arg(VERSION);
        QVERIFY2(failureText.startsWith(url) && failureText.endsWith(logText), qPrintable(failureText));
    } else {
        QVERIFY(!failureText.isEmpty());
    }
    QCOMPARE(FileTree::read(tempDir->filePath("file.bin")), body);
    if (!userInfo.isEmpty()) {
        QVERIFY2(!spies.messageTexts().join('\n').contains("secret"), qPrintable(failureText));
        QVERIFY(server->requestHeads().first().contains(
            "\r\nAuthorization: Basic " + userInfo.toUtf8().toBase64() + "\r\n"));
    }
}

void TestDownloadTask::brokenTransferCountsError_data()
{
    QTest::addColumn<HttpTestServer::Response>("failure");

    HttpTestServer::Response closed = HttpTestServer::Response::ok(pattern(200 * 1024));
    closed.closeAfter = 50 * 1024;
    QTest::newRow("closed mid-body") << closed;
    HttpTestServer::Response closedEarly = HttpTestServer::Response::ok(pattern(1024));
    closedEarly.closeAfter = 0;
    QTest::newRow("closed before body") << closedEarly;
}

void TestDownloadTask::brokenTransferCountsError()
{
    QFETCH(HttpTestServer::Response, failure);

    // The network layer may resend a request by itself when a connection
    // breaks early, so the first few requests all fail.
    makeMirrors({ "a" }, 10);
    const QByteArray body = pattern(70000);
    server->setHandler([&](const QByteArray&) {
        return server->requestCount() <= 4 ? failure : HttpTestServer::Response::ok(body);
    });
    DownloadTaskSpecification* task = makeTask("file.bin");
    TaskSpies spies(task);
    task->execute();
    QVERIFY(spies.finished.wait(10000));

    QCOMPARE(mirrors->mirrorData().size(), 1);
    const int errors = mirrors->mirrorData().first().errorCount;
    QVERIFY2(errors >= 1 && errors <= 4, qPrintable(QString::number(errors)));
    QCOMPARE(spies.messages.count(), 2 + errors);
    for (int i = 1; i <= errors; ++i)
        QVERIFY(!spies.message(i).isEmpty());
    QCOMPARE(FileTree::read(tempDir->filePath("file.bin")), body);
}

void TestDownloadTask::stallTimesOutAtSixteenthTick_data()
{
    QTest::addColumn<int>("bytesPerTick");
    QTest::addColumn<int>("heldMs"); // of each 1000 ms tick, by a cap; 0: no cap
    QTest::addColumn<QString>("logText");

    QTest::newRow("nothing arrives") << 0 << 0 << "file file.bin timed out on mirror %1";
    QTest::newRow("1020 bytes in 15 ticks")
        << 68 << 0 << "file file.bin stalled on mirror %1: 1020 bytes in 15 ticks";
    QTest::newRow("1035 bytes in 15 ticks") << 69 << 0 << QString();
    // A mirror that trickles waits for the cap only briefly, and is a
    // trickle all the same.
    QTest::newRow("1020 bytes in 15 ticks, each briefly held by the cap")
        << 68 << 100 << "file file.bin stalled on mirror %1: 1020 bytes in 15 ticks";
    QTest::newRow("1020 bytes in 15 ticks, held by the cap for most of each") << 68 << 600 << QString();
}

void TestDownloadTask::stallTimesOutAtSixteenthTick()
{
    QFETCH(int, bytesPerTick);
    QFETCH(int, heldMs);
    QFETCH(QString, logText);
    dripUntilJudged(bytesPerTick, heldMs, 16, logText);
}

void TestDownloadTask::slowMirrorMovedAtThirtyFirstTick_data()
{
    QTest::addColumn<int>("bytesPerTick");
    QTest::addColumn<int>("heldMs");
    QTest::addColumn<QString>("logText");

    const auto slow = [](int bytes) {
        return QStringLiteral("file file.bin too slow on mirror %1: ") + QString::number(bytes)
            + QStringLiteral(" bytes in 30 ticks");
    };
    QTest::newRow("80 bytes a tick") << 80 << 0 << slow(2400);
    QTest::newRow("32760 bytes in 30 ticks") << 1092 << 0 << slow(32760);
    QTest::newRow("32790 bytes in 30 ticks") << 1093 << 0 << QString();
    QTest::newRow("80 bytes a tick, each held a tenth of it by the cap") << 80 << 100 << slow(2400);
    QTest::newRow("80 bytes a tick, each held 40 % of it by the cap") << 80 << 400 << slow(2400);
    QTest::newRow("80 bytes a tick, each held 60 % of it by the cap") << 80 << 600 << QString();
}

void TestDownloadTask::slowMirrorMovedAtThirtyFirstTick()
{
    QFETCH(int, bytesPerTick);
    QFETCH(int, heldMs);
    QFETCH(QString, logText);
    dripUntilJudged(bytesPerTick, heldMs, 31, logText);
}

void TestDownloadTask::dripUntilJudged(int bytesPerTick, int heldMs, int judgedTick, const QString& logText)
{
    makeMirrors({ "a", "b" });
    const qint64 size = qMax(4000, (judgedTick + 2) * bytesPerTick);
    const QByteArray body = pattern(size);
    bool stalled = false;
    server->setHandler([&](const QByteArray&) {
        HttpTestServer::Response response = HttpTestServer::Response::ok(body);
        if (!stalled) {
            stalled = true;
            // A piece at once and one at each drip(), or a stall after 1000 bytes.
            response.dripChunk = bytesPerTick;
            response.stallAfter = bytesPerTick > 0 ? -1 : 1000;
        }
        return response;
    });
    // Time is stepped: each tick is a second on the engine's clock.
    qint64 now = 0;
    manager->setClock([&now] { return now; });
    // At 600 bytes a second the cap's bucket holds 60 bytes: a piece of
    // more arrives to a bucket short of full, is held, and passes once the
    // clock has moved on far enough to fill it.
    if (heldMs > 0)
        manager->setMaxRate(600);
    DownloadTaskSpecification* task = makeTask("file.bin", body.size());
    TaskSpies spies(task);
    task->execute();
    qint64 received = bytesPerTick > 0 ? bytesPerTick : 1000;
    const auto arrived = [&] {
        if (heldMs > 0) {
            if (!QTest::qWaitFor([&] { return manager->isHolding(); }, 5000))
                return false;
            now += heldMs;
        }
        return QTest::qWaitFor(
            [&] { return qFuzzyCompare(task->progress, 0.5 * double(received) / double(size)); }, 5000);
    };
    QVERIFY(arrived());
    const QString stalledMirror = task->getCurrentMirror().name;
    const auto tickAfterData = [&] {
        now = (now / 1000 + 1) * 1000;
        return tick(*task);
    };
    const auto drip = [&] {
        server->drip();
        received += bytesPerTick;
        return arrived();
    };
    for (int i = 1; i < judgedTick; ++i) {
        const TickFigures figures = tickAfterData();
        QVERIFY2(figures.downloading, qPrintable(QStringLiteral("tick %1").arg(i)));
        QCOMPARE(figures.done, quint64(received));
        QCOMPARE(figures.total, quint64(size));
        QVERIFY(drip());
    }
    QCOMPARE(spies.messages.count(), 1);
    QCOMPARE(server->requestCount(), 1);

    const TickFigures judged = tickAfterData();
    // The next mirror's download need not crawl.
    manager->setMaxRate(0);
    if (logText.isEmpty()) {
        QVERIFY(judged.downloading);
        QCOMPARE(spies.messages.count(), 1);
        return;
    }
    QVERIFY(!judged.downloading);
    QCOMPARE(spies.messages.count(), 2);
    QCOMPARE(spies.message(1), logText.arg(stalledMirror));
    QCOMPARE(mirrors->mirrorData().at(mirrors->getMirrorIndex(stalledMirror)).errorCount, 1);

    QVERIFY(spies.finished.wait(10000));
    QCOMPARE(server->requestCount(), 2);
    QCOMPARE(FileTree::read(tempDir->filePath("file.bin")), body);
}

void TestDownloadTask::writeFailureRetriesUntilNoMirrorLeft()
{
    makeMirrors({ "a", "b" }, 1);
    server->setHandler([](const QByteArray&) { return HttpTestServer::Response::ok(pattern(512 * 1024)); });
    DownloadTaskSpecification* task = makeTask("big.bin");
    TaskSpies spies(task);
    QSignalSpy registryMessages(mirrors, &Mirrors::message);
    {
        FileSizeLimit limit(100 * 1024);
        task->execute();
        QVERIFY(spies.canceled.wait(10000));
    }
    QCOMPARE(task->state, ErrorCanceled);
    // retries 1: each mirror is removed at its second error.
    QCOMPARE(server->requestCount(), 4);
    QCOMPARE(spies.messages.count(), 6);
    for (int i = 1; i < spies.messages.count(); ++i)
        QVERIFY(!spies.message(i).isEmpty());
    QVERIFY(mirrors->mirrorData().isEmpty());
    QCOMPARE(registryMessages.count(), 3);
    QCOMPARE(registryMessages.last().first().toString(),
        QStringLiteral("There are no (more) known working mirrors available"));
    QVERIFY(!QFile::exists(tempDir->filePath("big.bin")));
}

void TestDownloadTask::uncreatableFileCancels()
{
    makeMirrors({ "a" });
    DownloadTaskSpecification* task = makeTask("missing/dir/file.bin");
    TaskSpies spies(task);
    QSignalSpy errors(task, &TaskSpecification::error);
    task->execute();
    QCOMPARE(spies.canceled.count(), 1);
    QCOMPARE(task->state, ErrorCanceled);
    QCOMPARE(errors.count(), 1);
    QCOMPARE(errors.first().first().toString(),
        QStringLiteral("Unable to create file %1 for saving").arg(tempDir->filePath("missing/dir/file.bin")));
    QCOMPARE(totalUseCount(), 0);
    QCOMPARE(server->requestCount(), 0);
}

void TestDownloadTask::cancelDuringTransfer_data()
{
    QTest::addColumn<bool>("byUser");
    QTest::addColumn<int>("expectedState");
    QTest::addColumn<QString>("lastMessage");
    QTest::newRow("by the user") << true << int(UserCanceled) << QString();
    QTest::newRow("other task cancelled")
        << false << int(ErrorCanceled) << QStringLiteral("Abort downloading file.bin");
}

void TestDownloadTask::cancelDuringTransfer()
{
    QFETCH(bool, byUser);
    QFETCH(int, expectedState);
    QFETCH(QString, lastMessage);

    makeMirrors({ "a" });
    HttpTestServer::Response response = HttpTestServer::Response::ok(pattern(8000));
    response.stallAfter = 2000;
    server->setResponse(remoteUrlPath("a", "file.bin"), response);
    DownloadTaskSpecification* task = makeTask("file.bin", 8000);
    DownloadTaskSpecification* sibling = makeTask("other.bin");
    TaskSpies spies(task);
    task->execute();
    QTRY_VERIFY(task->progress > 0.0);
    QVERIFY(QFile::exists(tempDir->filePath("file.bin")));
    QCOMPARE(totalUseCount(), 1);

    if (byUser)
        task->userCanceled();
    else
        task->onOtherTaskCancelled(sibling);
    QCOMPARE(spies.canceled.count(), 1);
    QCOMPARE(int(task->state), expectedState);
    if (!lastMessage.isEmpty())
        QCOMPARE(spies.message(-1), lastMessage);
    QVERIFY(!QFile::exists(tempDir->filePath("file.bin")));
    QCOMPARE(task->progress, 0.0);
    // The mirror is returned, not charged.
    QCOMPARE(totalUseCount(), 0);
    QCOMPARE(mirrors->mirrorData().first().errorCount, 0);
    QTRY_COMPARE(server->openConnections(), 0);

    // A cancelled task ignores a further cancel.
    task->userCanceled();
    QCOMPARE(spies.canceled.count(), 1);
    QCOMPARE(totalUseCount(), 0);
}

void TestDownloadTask::busyMirrorWaitsForOtherTransfer()
{
    const auto [firstTask, secondTask] = twoTasksOnOneMirror();
    QSignalSpy firstFinished(firstTask, &TaskSpecification::finished);
    QSignalSpy secondFinished(secondTask, &TaskSpecification::finished);
    firstTask->execute();
    secondTask->execute();
    QCOMPARE(secondTask->state, Running);
    QTRY_COMPARE(server->requestCount(), 1);

    // Waiting for a mirror is no transfer: no ticks counted, not downloading.
    for (int i = 0; i < 20; ++i)
        QVERIFY(!tick(*secondTask).downloading);
    QCOMPARE(secondTask->state, Running);
    QCOMPARE(server->requestCount(), 1);

    server->releaseStalled();
    QVERIFY(firstFinished.wait(10000));
    QTRY_COMPARE(secondFinished.count(), 1);
    QCOMPARE(server->requestedPaths(),
        (QList<QByteArray> { remoteUrlPath("a", "first.bin"), remoteUrlPath("a", "second.bin") }));
    QCOMPARE(totalUseCount(), 0);
}

void TestDownloadTask::cancelledWhileWaitingStaysCancelled()
{
    const auto [firstTask, secondTask] = twoTasksOnOneMirror();
    QSignalSpy firstFinished(firstTask, &TaskSpecification::finished);
    QSignalSpy secondCanceled(secondTask, &TaskSpecification::canceled);
    firstTask->execute();
    secondTask->execute();
    secondTask->userCanceled();
    QCOMPARE(secondCanceled.count(), 1);
    QCOMPARE(secondTask->state, UserCanceled);

    QTRY_COMPARE(server->requestCount(), 1);
    server->releaseStalled();
    QVERIFY(firstFinished.wait(10000));
    // Let the end of the first transfer reach everyone that listens for it.
    QCoreApplication::processEvents();
    QCOMPARE(server->requestCount(remoteUrlPath("a", "second.bin")), 0);
    QCOMPARE(secondTask->state, UserCanceled);
    QCOMPARE(totalUseCount(), 0);
}

void TestDownloadTask::noMirrorLeftCancels()
{
    makeMirrors({ "a", "b" });
    DownloadTaskSpecification* task = makeTask("file.bin");
    TaskSpies spies(task);
    QSignalSpy registryMessages(mirrors, &Mirrors::message);
    task->execute();
    QVERIFY(spies.canceled.wait(10000));
    QCOMPARE(task->state, ErrorCanceled);
    QCOMPARE(server->requestCount(), 2);
    QCOMPARE(registryMessages.count(), 1);
    QCOMPARE(registryMessages.first().first().toString(),
        QStringLiteral("There are no (more) known working mirrors available"));
    QVERIFY(spies.message(-2).endsWith(QStringLiteral(" returned 404")));
    QCOMPARE(spies.message(-1), QStringLiteral("No mirror could deliver file.bin"));
    QVERIFY(!QFile::exists(tempDir->filePath("file.bin")));

    // A later download fails at once, without a second report.
    DownloadTaskSpecification* late = makeTask("late.bin");
    QSignalSpy lateCanceled(late, &TaskSpecification::canceled);
    late->execute();
    QCOMPARE(lateCanceled.count(), 1);
    QCOMPARE(registryMessages.count(), 1);
}

void TestDownloadTask::mirrorWithoutUrlUsesUpItsRetries()
{
    loadMirrors("[mirrors]\nsize=1\n1\\mirror=nourl\n[nourl]\nretries=3\n");
    QCOMPARE(mirrors->mirrorData().first().url, QStringLiteral("/7"));

    DownloadTaskSpecification* task = makeTask("file.bin");
    TaskSpies spies(task);
    task->execute();
    QVERIFY(spies.canceled.wait(10000));
    QCOMPARE(task->state, ErrorCanceled);
    // One start message, one line per failed attempt (errors 1 to 4) and the last word.
    QCOMPARE(spies.messages.count(), 6);
    QVERIFY(mirrors->mirrorData().isEmpty());
    QVERIFY(!QFile::exists(tempDir->filePath("file.bin")));
}

void TestDownloadTask::keptPartIsContinued_data()
{
    QTest::addColumn<QByteArray>("part"); // "dir" and "link" stand for a directory and a symlink
    QTest::addColumn<RangeAnswer>("answer");
    QTest::addColumn<QList<QByteArray>>("ranges"); // the Range of each request, empty for none

    const QByteArray body = pattern(5000);
    const QList<QByteArray> none { QByteArray() };
    QTest::newRow("206 continues the part")
        << body.left(1000) << RangeAnswer::Honoured << QList<QByteArray> { "bytes=1000-" };
    QTest::newRow("200 starts over") << body.left(1000) << RangeAnswer::Ignored
                                     << QList<QByteArray> { "bytes=1000-" };
    QTest::newRow("206 for another range")
        << body.left(1000) << RangeAnswer::OtherRange << QList<QByteArray> { "bytes=1000-", QByteArray() };
    QTest::newRow("416") << body.left(1000) << RangeAnswer::Refused
                         << QList<QByteArray> { "bytes=1000-", QByteArray() };
    QTest::newRow("part longer than listed") << body + "x" << RangeAnswer::Honoured << none;
    QTest::newRow("part as long as listed")
        << body << RangeAnswer::Honoured << QList<QByteArray> { "bytes=4999-" };
    QTest::newRow("part is a symlink") << QByteArray("link") << RangeAnswer::Honoured << none;
    QTest::newRow("part is a directory") << QByteArray("dir") << RangeAnswer::Honoured << none;
    // A small file's part is kept under its own name, where only a wrong
    // file or one linked into the installation can be whole.
    QTest::newRow("part under its own name")
        << "own name" + body.left(1000) << RangeAnswer::Honoured << QList<QByteArray> { "bytes=1000-" };
    QTest::newRow("whole file under its own name")
        << "own name" + QByteArray(5000, 'w') << RangeAnswer::Honoured << none;
    QTest::newRow("file under its own name linked elsewhere")
        << QByteArray("own name, linked") << RangeAnswer::Honoured << none;
    QTest::newRow("pause keeps the part")
        << QByteArray() << RangeAnswer::Pause << QList<QByteArray> { QByteArray(), "bytes=1000-" };
    QTest::newRow("200 longer than listed leaves the part")
        << body.left(1000) << RangeAnswer::TooLong << QList<QByteArray> { "bytes=1000-", "bytes=1000-" };
    QTest::newRow("body without a length closed early")
        << QByteArray() << RangeAnswer::CutShort << QList<QByteArray> { QByteArray(), "bytes=1000-" };
    // The sum carried from the last attempt covers more than the part the
    // next one continues: it must be taken again from the part.
    QTest::newRow("retry after every byte asks for the last again")
        << QByteArray() << RangeAnswer::WholeThenSilent << QList<QByteArray> { QByteArray(), "bytes=4999-" };
    QTest::newRow("part shortened while paused") << QByteArray() << RangeAnswer::PauseThenShortened
                                                 << QList<QByteArray> { QByteArray(), "bytes=600-" };
}

void TestDownloadTask::keptPartIsContinued()
{
    QFETCH(QByteArray, part);
    QFETCH(RangeAnswer, answer);
    QFETCH(QList<QByteArray>, ranges);

    // The mirror that sends too much is struck off: another must remain.
    makeMirrors(answer == RangeAnswer::TooLong ? QStringList { "a", "b" } : QStringList { "a" });
    const QByteArray body = pattern(5000);
    const bool ownName = part.startsWith("own name");
    const QString partPath = tempDir->filePath(ownName ? "file.bin" : ".part-file.bin");
    const QString outside = tempDir->filePath("outside.bin");
    QVERIFY(FileTree::write(outside, "not the updater's"));
    if (part == "own name, linked")
        QVERIFY(::link(QFile::encodeName(outside).constData(), QFile::encodeName(partPath).constData()) == 0);
    else if (ownName)
        QVERIFY(FileTree::write(partPath, part.mid(8)));
    else if (part == "link")
        QVERIFY(QFile::link(outside, partPath));
    else if (part == "dir")
        QVERIFY(QDir(tempDir->path()).mkpath(".part-file.bin/inner")
            && FileTree::write(partPath + "/inner/x", "x"));
    else if (!part.isEmpty())
        QVERIFY(FileTree::write(partPath, part));

    QList<QByteArray> asked;
    server->setHandler([&](const QByteArray&) {
        const QByteArray head = server->requestHeads().last();
        const qsizetype at = head.indexOf("\r\nRange: bytes=");
        asked.append(at < 0 ? QByteArray() : head.mid(at + 9, head.indexOf('\r', at + 2) - at - 9));
        HttpTestServer::Response response = HttpTestServer::Response::ok(body);
        const bool paused = answer == RangeAnswer::Pause || answer == RangeAnswer::PauseThenShortened;
        if (paused && asked.size() == 1)
            response.stallAfter = 1000;
        if (answer == RangeAnswer::WholeThenSilent && asked.size() == 1) {
            response.body = body + "x";
            response.sendContentLength = false;
            response.stallAfter = body.size();
            return response;
        }
        if (answer == RangeAnswer::TooLong && asked.size() == 1)
            return HttpTestServer::Response::ok(body + "more");
        if (answer == RangeAnswer::CutShort && asked.size() == 1) {
            response.sendContentLength = false;
            response.closeAfter = 1000;
            return response;
        }
        const qint64 from = at < 0 ? 0 : head.mid(at + 15, head.indexOf('-', at) - at - 15).toLongLong();
        if (at < 0 || answer == RangeAnswer::Ignored)
            return response;
        if (answer == RangeAnswer::Refused)
            return HttpTestServer::Response::withStatus(416);
        const qint64 start = answer == RangeAnswer::OtherRange ? 0 : from;
        response.status = 206;
        response.body = body.mid(start);
        response.headers.append({ "Content-Range", "bytes " + QByteArray::number(start) + "-4999/5000" });
        return response;
    });
    DownloadTaskSpecification* task = makeTask("file.bin", body.size());
    task->keepPartAt(partPath);
    task->digestWhileReceiving(ContentSum::Algorithm::Md5);
    TaskSpies spies(task);
    task->execute();
    if (answer == RangeAnswer::WholeThenSilent) {
        QTRY_COMPARE(QFileInfo(partPath).size(), body.size());
        for (int i = 0; i < 40 && spies.messages.count() == 1; ++i)
            tick(*task);
    }
    if (answer == RangeAnswer::Pause || answer == RangeAnswer::PauseThenShortened) {
        QTRY_COMPARE(QFileInfo(partPath).size(), 1000);
        manager->setPaused(true);
        QCOMPARE(totalUseCount(), 0);
        QCOMPARE(manager->runningTransfers(), 0);
        const TickFigures paused = tick(*task);
        QVERIFY(!paused.downloading);
        // What arrived still counts while paused.
        QCOMPARE(paused.done, quint64(1000));
        QCOMPARE(task->progress, 0.2 * 0.5);
        server->releaseStalled();
        QCoreApplication::processEvents();
        QCOMPARE(QFileInfo(partPath).size(), 1000);
        if (answer == RangeAnswer::PauseThenShortened)
            QVERIFY(QFile::resize(partPath, 600));
        manager->setPaused(false);
    }
    QVERIFY(spies.finished.wait(10000));
    QCOMPARE(asked, ranges);
    QCOMPARE(FileTree::read(tempDir->filePath("file.bin")), body);
    QVERIFY(ownName || (!QFileInfo::exists(partPath) && !QFileInfo(partPath).isSymLink()));
    QCOMPARE(FileTree::read(outside), QByteArray("not the updater's"));
    // Starting over is no fault of the mirror's; a cut or a stall is.
    QCOMPARE(mirrors->mirrorData().size(), 1);
    QCOMPARE(mirrors->mirrorData().first().errorCount,
        int(answer == RangeAnswer::CutShort || answer == RangeAnswer::WholeThenSilent));
    QCOMPARE(task->completedFromPart(), answer != RangeAnswer::Ignored && !ranges.last().isEmpty());
    const bool dropLogged
        = std::any_of(spies.messages.cbegin(), spies.messages.cend(), [](const QList<QVariant>& args) {
              return args.first().toString().endsWith("the 1000 bytes kept are dropped");
          });
    QCOMPARE(dropLogged, answer == RangeAnswer::Ignored);
    QCOMPARE(task->receivedDigest(), QCryptographicHash::hash(body, QCryptographicHash::Md5));
}

QTEST_GUILESS_MAIN(TestDownloadTask)
#include "tst_downloadtask.moc"
