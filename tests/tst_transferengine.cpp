#include "transfer/downloadtaskspecification.h"
#include "transfer/mirrors.h"
#include "transfer/ratelimiter.h"
#include "transfer/transfer.h"
#include "transfer/transferengine.h"
#include "filetree.h"
#include "httptestserver.h"
#include "installfixture.h"
#include "localdaemon.h"
#include "taskrun.h"
#include "testcertificates.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

constexpr int VERSION = 7;

using FileTree::pattern;

enum class Certificate { Trusted, SelfSigned, Expired, WrongName };
enum class Proxy {
    Credentials,
    WrongCredentials,
    Demands,
    SocksRefusing,
    Environment,
    EnvironmentExempt,
    NamedOverExempt
};

} // namespace

class TestTransferEngine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void capKeepsTheSum_data();
    void capKeepsTheSum();
    void eventLoopWiring_data();
    void eventLoopWiring();
    void tlsMirror_data();
    void tlsMirror();
    void http2CarriesManyFilesOnOneConnection_data();
    void http2CarriesManyFilesOnOneConnection();
    void proxy_data();
    void proxy();

private:
    void makeMirrors(const QString& baseUrl, int count = 1);
    DownloadTaskSpecification* makeTask(const QString& name, qint64 size);

    std::unique_ptr<TestCertificates> certificates;
    QTemporaryDir* dir = nullptr;
    HttpTestServer* server = nullptr;
    TransferEngine* engine = nullptr;
    Mirrors* mirrors = nullptr;
};

void TestTransferEngine::initTestCase()
{
    certificates = std::make_unique<TestCertificates>();
    QVERIFY(certificates->isValid());
    // The environment's proxies are this test's to set.
    for (const char* name : { "http_proxy", "https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY" })
        qunsetenv(name);
}

void TestTransferEngine::init()
{
    dir = new QTemporaryDir;
    server = new HttpTestServer(this);
    QVERIFY(server->listen());
    engine = new TransferEngine(this);
}

void TestTransferEngine::cleanup()
{
    qDeleteAll(findChildren<DownloadTaskSpecification*>(Qt::FindDirectChildrenOnly));
    delete mirrors;
    mirrors = nullptr;
    delete engine;
    delete server;
    delete dir;
    qputenv("no_proxy", "127.0.0.1,localhost");
    qputenv("NO_PROXY", "127.0.0.1,localhost");
    qunsetenv("http_proxy");
}

void TestTransferEngine::makeMirrors(const QString& baseUrl, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("m%1").arg(i);
    const QString path = dir->filePath("mirrors.ini");
    QVERIFY(FileTree::write(path, mirrorsIni(names, baseUrl, 2)));
    mirrors = new Mirrors;
    QVERIFY(mirrors->initDefault(path, VERSION));
}

DownloadTaskSpecification* TestTransferEngine::makeTask(const QString& name, qint64 size)
{
    return new DownloadTaskSpecification(engine, mirrors, name, dir->filePath(name), size, this, 1.0);
}

void TestTransferEngine::capKeepsTheSum_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<qint64>("piece");

    QTest::newRow("1 KiB/s in 1 KiB reads") << qint64(1024) << qint64(1024);
    QTest::newRow("100 KiB/s in reads of an eighth") << qint64(100 * 1024) << qint64(12800);
    QTest::newRow("8 MiB/s in 16 KiB reads") << qint64(8 << 20) << qint64(16384);
}

void TestTransferEngine::capKeepsTheSum()
{
    QFETCH(qint64, rate);
    QFETCH(qint64, piece);

    // Four transfers that always have data, polled every millisecond for 30 s.
    RateLimiter limiter;
    limiter.setRate(rate, 0);
    QList<qint64> perMs(30000, 0);
    for (qint64 ms = 0; ms < perMs.size(); ++ms) {
        for (int transfer = 0; transfer < 4; ++transfer) {
            if (limiter.take(piece, ms))
                perMs[ms] += piece;
        }
    }
    qint64 window = 0;
    qint64 busiest = 0;
    for (int ms = 0; ms < perMs.size(); ++ms) {
        window += perMs.at(ms) - (ms >= 5000 ? perMs.at(ms - 5000) : 0);
        busiest = qMax(busiest, window);
    }
    const qint64 total = std::accumulate(perMs.cbegin(), perMs.cend(), qint64(0));
    QVERIFY2(busiest <= rate * 5 * 11 / 10, qPrintable(QString::number(busiest)));
    QVERIFY2(total >= rate * 30 * 95 / 100, qPrintable(QString::number(total)));
}

void TestTransferEngine::eventLoopWiring_data()
{
    QTest::addColumn<QString>("event");
    QTest::newRow("abort from a progress slot") << "abort";
    QTest::newRow("many transfers ending together") << "many";
    QTest::newRow("connection closed while the cap holds it") << "closed";
    QTest::newRow("1 KiB/s cap on a healthy mirror") << "slow";
}

void TestTransferEngine::eventLoopWiring()
{
    QFETCH(QString, event);

    if (event == "many") {
        HttpTestServer::Response held = HttpTestServer::Response::ok(pattern(3000));
        held.stallAfter = 10;
        server->setHandler([&](const QByteArray&) { return held; });
        QList<Transfer*> transfers;
        QSignalSpy* spies[20];
        for (int i = 0; i < 20; ++i) {
            transfers << engine->get(QUrl(server->baseUrl() + QStringLiteral("/f%1").arg(i)), this);
            spies[i] = new QSignalSpy(transfers.last(), &Transfer::finished);
        }
        QTRY_COMPARE(server->requestCount(), 20);
        server->releaseStalled();
        for (int i = 0; i < 20; ++i) {
            QTRY_COMPARE(spies[i]->count(), 1);
            QVERIFY(transfers.at(i)->succeeded());
            delete spies[i];
        }
        qDeleteAll(transfers);
        QCOMPARE(engine->runningTransfers(), 0);
        return;
    }

    const QByteArray body = pattern(event == "slow" ? 4 * 1024 : 64 * 1024);
    makeMirrors(server->baseUrl());
    HttpTestServer::Response response = HttpTestServer::Response::ok(body);
    if (event == "closed")
        response.closeAfter = 20 * 1024;
    server->setHandler(
        [&](const QByteArray&) { return std::exchange(response, HttpTestServer::Response::ok(body)); });
    engine->setMaxRate(event == "slow" ? 1024 : 16 * 1024);
    DownloadTaskSpecification* task = makeTask("file.bin", body.size());
    task->keepPartAt(dir->filePath("part"));
    if (event == "abort") {
        engine->setMaxRate(0);
        // Reported from inside the transfer's own data handling.
        connect(task, &TaskSpecification::updateProgress, task, [task](qreal done) {
            if (done > 0)
                task->userCanceled();
        });
    }
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, task, [task] {
        quint64 done = 0, total = 0, speed = 0;
        bool downloading = false;
        task->timeTick(done, total, speed, downloading);
    });
    // Ticks far faster than the engine's: a capped transfer must not count as stalled.
    ticker.start(50);
    const TaskRun run = runTask(*task, 60000);
    if (event == "abort") {
        QCOMPARE(run.state, UserCanceled);
        QTRY_COMPARE(engine->runningTransfers(), 0);
        QVERIFY(QFileInfo(dir->filePath("part")).size() > 0);
        return;
    }
    QCOMPARE(run.state, Finished);
    QCOMPARE(FileTree::read(dir->filePath("file.bin")), body);
    QCOMPARE(mirrors->mirrorData().size(), 1);
    QCOMPARE(mirrors->mirrorData().first().errorCount, event == "closed" ? 1 : 0);
}

void TestTransferEngine::tlsMirror_data()
{
    QTest::addColumn<Certificate>("certificate");
    QTest::newRow("private CA trusted through cafile") << Certificate::Trusted;
    QTest::newRow("self-signed") << Certificate::SelfSigned;
    QTest::newRow("expired") << Certificate::Expired;
    QTest::newRow("wrong name") << Certificate::WrongName;
}

void TestTransferEngine::tlsMirror()
{
    QFETCH(Certificate, certificate);

    const QString root = dir->filePath("www");
    const QByteArray body = pattern(100000);
    QVERIFY(FileTree::write(root + "/m0/7/file.bin", body));
    const QString certificateFile = certificate == Certificate::Trusted ? certificates->trusted()
        : certificate == Certificate::SelfSigned                        ? certificates->selfSigned()
        : certificate == Certificate::Expired                           ? certificates->expired()
                                                                        : certificates->wrongName();
    QVERIFY(QDir(dir->path()).mkpath("nginx"));
    const auto nginx = LocalDaemon::nginx(dir->filePath("nginx"), root, certificateFile, certificates->key());
    QVERIFY(nginx);
    engine->setExtraCertificates(FileTree::read(certificates->caFile()));
    makeMirrors(QStringLiteral("https://127.0.0.1:%1").arg(nginx->port()));
    DownloadTaskSpecification* task = makeTask("file.bin", body.size());
    const TaskRun run = runTask(*task);

    if (certificate == Certificate::Trusted) {
        QCOMPARE(run.state, Finished);
        QCOMPARE(FileTree::read(dir->filePath("file.bin")), body);
        return;
    }
    // Struck off at its first failure, with the reason; never fetched unverified.
    QCOMPARE(run.state, ErrorCanceled);
    QCOMPARE(run.messages.size(), 3);
    QVERIFY2(run.messages.at(1).contains("certificate not accepted"), qPrintable(run.messages.at(1)));
    QVERIFY(!FileTree::read(nginx->accessLog()).contains("file.bin"));
}

void TestTransferEngine::http2CarriesManyFilesOnOneConnection_data()
{
    QTest::addColumn<int>("files");
    QTest::addColumn<bool>("capped");
    QTest::newRow("uncapped: one HTTP/2 connection") << 40 << false;
    QTest::newRow("capped: HTTP/1.1, one at a time") << 4 << true;
}

void TestTransferEngine::http2CarriesManyFilesOnOneConnection()
{
    QFETCH(int, files);
    QFETCH(bool, capped);
    const QString root = dir->filePath("www");
    for (int i = 0; i < files; ++i)
        QVERIFY(FileTree::write(root + QStringLiteral("/m0/7/f%1").arg(i), pattern(64 * 1024)));
    QVERIFY(QDir(dir->path()).mkpath("nginx"));
    // Slow enough that the files overlap once the connection carries them together.
    const auto nginx = LocalDaemon::nginx(
        dir->filePath("nginx"), root, certificates->trusted(), certificates->key(), "limit_rate 256k;");
    QVERIFY(nginx);
    engine->setExtraCertificates(FileTree::read(certificates->caFile()));
    if (capped)
        engine->setMaxRate(4 << 20);
    makeMirrors(QStringLiteral("https://127.0.0.1:%1").arg(nginx->port()));
    QList<DownloadTaskSpecification*> tasks;
    int mostAtOnce = 0;
    for (int i = 0; i < files; ++i) {
        tasks << makeTask(QStringLiteral("f%1").arg(i), 64 * 1024);
        connect(tasks.last(), &TaskSpecification::updateProgress, this,
            [&] { mostAtOnce = qMax(mostAtOnce, engine->runningTransfers()); });
        tasks.last()->execute();
    }
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(tasks.cbegin(), tasks.cend(),
                                 [](const TaskSpecification* t) { return t->state == Finished; }),
        30000);
    QCOMPARE(mirrors->mirrorData().first().maxUseCount, capped ? 1 : Mirrors::MULTIPLEXED_USE_COUNT);
    QVERIFY2(capped ? mostAtOnce == 1 : mostAtOnce > 1 && mostAtOnce <= Mirrors::MULTIPLEXED_USE_COUNT,
        qPrintable(QString::number(mostAtOnce)));
    const QList<QByteArray> log = FileTree::read(nginx->accessLog()).trimmed().split('\n');
    QCOMPARE(log.size(), files);
    // All on the connection of the first, whose number follows the protocol.
    const QByteArray first = log.first().left(log.first().indexOf(" 200 "));
    QVERIFY2(first.startsWith(capped ? "HTTP/1.1 " : "HTTP/2.0 "), first.constData());
    for (const QByteArray& line : log)
        QVERIFY2(line.startsWith(first + " 200 65536 "), line.constData());
}

void TestTransferEngine::proxy_data()
{
    QTest::addColumn<Proxy>("proxy");
    QTest::newRow("credentials") << Proxy::Credentials;
    QTest::newRow("wrong credentials") << Proxy::WrongCredentials;
    QTest::newRow("proxy answers 407") << Proxy::Demands;
    QTest::newRow("SOCKS proxy that refuses") << Proxy::SocksRefusing;
    QTest::newRow("http_proxy of the environment") << Proxy::Environment;
    QTest::newRow("no_proxy exempts the mirror") << Proxy::EnvironmentExempt;
    QTest::newRow("named proxy despite no_proxy") << Proxy::NamedOverExempt;
}

void TestTransferEngine::proxy()
{
    QFETCH(Proxy, proxy);

    const QByteArray body = pattern(30000);
    server->setHandler([&](const QByteArray&) { return HttpTestServer::Response::ok(body); });
    // Only a proxy reaches this mirror: nothing listens on port 1.
    QString mirror = QStringLiteral("http://127.0.0.1:1");
    std::unique_ptr<LocalDaemon> tinyproxy;
    QTcpServer socks;
    switch (proxy) {
    case Proxy::Credentials:
    case Proxy::WrongCredentials:
        QVERIFY(QDir(dir->path()).mkpath("tinyproxy"));
        tinyproxy = LocalDaemon::tinyproxy(dir->filePath("tinyproxy"), "voxmeadow s3cret");
        QVERIFY(tinyproxy);
        engine->setProxy(QStringLiteral("http://voxmeadow:%1@127.0.0.1:%2")
                             .arg(proxy == Proxy::Credentials ? "s3cret" : "wrong")
                             .arg(tinyproxy->port()));
        mirror = server->baseUrl();
        break;
    case Proxy::Demands:
        server->setHandler([](const QByteArray&) { return HttpTestServer::Response::withStatus(407); });
        engine->setProxy(server->baseUrl());
        break;
    case Proxy::SocksRefusing:
        // Offers no authentication method that a client could use.
        QVERIFY(socks.listen(QHostAddress::LocalHost));
        connect(&socks, &QTcpServer::newConnection, this, [&socks] {
            QTcpSocket* client = socks.nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, client, [client] {
                client->readAll();
                client->write("\x05\xff", 2);
            });
        });
        engine->setProxy(QStringLiteral("socks5h://127.0.0.1:%1").arg(socks.serverPort()));
        break;
    case Proxy::Environment:
        qunsetenv("no_proxy");
        qunsetenv("NO_PROXY");
        Q_FALLTHROUGH();
    case Proxy::NamedOverExempt:
        qputenv(proxy == Proxy::Environment ? "http_proxy" : "unused_proxy", server->baseUrl().toUtf8());
        if (proxy == Proxy::NamedOverExempt)
            engine->setProxy(server->baseUrl());
        break;
    case Proxy::EnvironmentExempt:
        qputenv("http_proxy", "http://127.0.0.1:1");
        qputenv("no_proxy", "127.0.0.1");
        mirror = server->baseUrl();
        break;
    }
    makeMirrors(mirror);
    DownloadTaskSpecification* task = makeTask("file.bin", body.size());
    const TaskRun run = runTask(*task);
    const QString log = run.messages.join('\n');
    QVERIFY2(!log.contains("s3cret"), qPrintable(log));
    if (proxy == Proxy::WrongCredentials || proxy == Proxy::Demands || proxy == Proxy::SocksRefusing) {
        QCOMPARE(run.state, ErrorCanceled);
        if (proxy == Proxy::Demands)
            QVERIFY2(log.contains("the proxy asks for credentials (407)"), qPrintable(log));
        return;
    }
    QCOMPARE(run.state, Finished);
    QCOMPARE(FileTree::read(dir->filePath("file.bin")), body);
    QCOMPARE(server->requestedPaths().size(), 1);
}

QTEST_GUILESS_MAIN(TestTransferEngine)
#include "tst_transferengine.moc"
