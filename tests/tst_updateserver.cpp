#include "serverquery/banner.h"
#include "serverquery/updatechecker.h"
#include "updateserver.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

// The reference update server as the updater's own query classes see it.
class TestUpdateServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersTheVersionQuery();
    void answersTheBannerQuery();
    void startUpChecks_data();
    void startUpChecks();
    void answersOnlyExactRequests_data();
    void answersOnlyExactRequests();
    void tokenBucketPerSource();
};

void TestUpdateServer::answersTheVersionQuery()
{
    UpdateServer::Answers answers;
    answers.versions = QStringLiteral("12#3.0.12,13#3.1 beta#2");
    answers.news = QStringLiteral("<b>News</b> \u00e9t\u00e9") + QString(5000, QLatin1Char('x'));
    UpdateServer server(answers);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0, -1));

    // The checker blocks its thread while it waits, so it runs beside the
    // event loop that serves it.
    UpdateChecker checker(QStringLiteral("127.0.0.1"), server.versionPort(), 5000);
    bool ok = false;
    QThread* thread = QThread::create([&] { ok = checker.checkUpdate(); });
    thread->start();
    QTRY_VERIFY(thread->isFinished());
    delete thread;

    QVERIFY(ok);
    QCOMPARE(
        checker.getClientVersionByChannel(Stable), qMakePair(QStringLiteral("12"), QStringLiteral("3.0.12")));
    QCOMPARE(checker.getClientVersionByChannel(Beta),
        qMakePair(QStringLiteral("13"), QStringLiteral("3.1 beta#2")));
    QCOMPARE(checker.getClientVersionByChannel(Alpha), qMakePair(QString(), QString()));
    // Cut where the updater stops reading, Latin-1 preserved.
    QCOMPARE(checker.getNews().size(), UpdateServer::MaxNewsSize);
    QVERIFY(checker.getNews().startsWith(QStringLiteral("<b>News</b> \u00e9t\u00e9x")));
}

void TestUpdateServer::answersTheBannerQuery()
{
    UpdateServer::Answers answers;
    answers.versions = QStringLiteral("1#1.0");
    answers.bannerUrl = QStringLiteral("http://127.0.0.1:8080/banner.png");
    answers.clickUrl = QStringLiteral("http://127.0.0.1:8080/");
    UpdateServer server(answers);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0, 0));

    Banner banner(nullptr, QStringLiteral("127.0.0.1"), server.bannerPort(), 5000);
    QSignalSpy found(&banner, &Banner::bannerFound);
    banner.run();
    QTRY_COMPARE(found.count(), 1);
    QCOMPARE(found.at(0).at(0).toString(), answers.bannerUrl);
    QCOMPARE(found.at(0).at(1).toString(), answers.clickUrl);
}

void TestUpdateServer::startUpChecks_data()
{
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("news");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("number and label") << "12#3.0.12"
                                      << "" << true;
    QTest::newRow("number alone") << "12"
                                  << "" << true;
    QTest::newRow("label with #") << "7#3.1#rc"
                                  << "" << true;
    QTest::newRow("Latin-1 label") << "7#\u00e9t\u00e9"
                                   << "" << true;
    QTest::newRow("no number") << "#3.0"
                               << "" << false;
    QTest::newRow("number 0") << "0#x"
                              << "" << false;
    QTest::newRow("number above int") << "2147483648"
                                      << "" << false;
    QTest::newRow("largest number") << "2147483647"
                                    << "" << true;
    QTest::newRow("negative number") << "-1#x"
                                     << "" << false;
    QTest::newRow("comma in label") << "7#a,b"
                                    << "" << false;
    QTest::newRow("label beyond Latin-1") << "7#\u20ac"
                                          << "" << false;
    QTest::newRow("label with a CSI") << "7#\x1b[2J"
                                      << "" << false;
    QTest::newRow("label with a C1 CSI") << "7#\u009bH"
                                         << "" << false;
    QTest::newRow("label with a line break") << "7#a\nb"
                                             << "" << false;
    QTest::newRow("news of lines and tabs") << "7"
                                            << "a\r\n\tb" << true;
    QTest::newRow("news with an OSC") << "7"
                                      << "\x1b]0;title\x07" << false;
    QTest::newRow("news of 4095 Latin-1 bytes") << "7" << QString(4095, QChar(0xe9)) << true;
    QTest::newRow("news of 4096 bytes") << "7" << QString(4096, QLatin1Char('x')) << false;
    QTest::newRow("news beyond Latin-1") << "7"
                                         << "\u20ac" << false;
    QTest::newRow("news with NUL") << "7" << QStringLiteral("a") + QChar(0) + "b" << false;
}

void TestUpdateServer::startUpChecks()
{
    QFETCH(QString, entry);
    QFETCH(QString, news);
    QFETCH(bool, accepted);

    UpdateServer::Answers answers;
    answers.versions = entry;
    answers.news = news;
    QString problem;
    QCOMPARE(
        UpdateServer::checkChannelEntry(entry, &problem) && UpdateServer::checkAnswers(answers, &problem),
        accepted);
    QCOMPARE(problem.isEmpty(), accepted);
}

void TestUpdateServer::answersOnlyExactRequests_data()
{
    QTest::addColumn<bool>("banner");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("served");

    QTest::newRow("version request") << false << QByteArray("3\0", 2) << "sent the versions";
    QTest::newRow("news request") << false << QByteArray("*\0", 2) << "sent the news";
    QTest::newRow("version request without NUL") << false << QByteArray("3") << "ignored";
    QTest::newRow("version request with one byte more") << false << QByteArray("3\0\0", 3) << "ignored";
    QTest::newRow("banner request") << true << QByteArray("\x01\x01") << "sent the banner";
    QTest::newRow("banner request with one byte more") << true << QByteArray("\x01\x01\0", 3) << "ignored";
}

void TestUpdateServer::answersOnlyExactRequests()
{
    QFETCH(bool, banner);
    QFETCH(QByteArray, request);
    QFETCH(QString, served);

    UpdateServer::Answers answers;
    answers.versions = QStringLiteral("1#1.0");
    answers.bannerUrl = QStringLiteral("http://127.0.0.1/b.png");
    SourceRateLimiter::Limits limits;
    limits.burst = 2;
    UpdateServer server(answers, limits);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0, 0));
    QSignalSpy lines(&server, &UpdateServer::served);
    QUdpSocket client;
    QVERIFY(client.bind(QHostAddress::LocalHost, 0));
    const quint16 port = banner ? server.bannerPort() : server.versionPort();

    // The third request exceeds the burst of two.
    for (int i = 0; i < 3; ++i)
        QCOMPARE(client.writeDatagram(request, QHostAddress::LocalHost, port), qint64(request.size()));
    QTRY_COMPARE(lines.count(), 3);
    const bool answered = !served.startsWith(QLatin1String("ignored"));
    for (int i = 0; i < 3; ++i) {
        const QString line = lines.at(i).at(0).toString();
        QVERIFY2(
            line.startsWith(i < 2 || !answered ? served : QStringLiteral("rate limit")), qPrintable(line));
    }
    int datagrams = 0;
    while (client.hasPendingDatagrams() || (answered && datagrams < 2 && client.waitForReadyRead(5000))) {
        client.receiveDatagram();
        ++datagrams;
    }
    QCOMPARE(datagrams, answered ? 2 : 0);
}

void TestUpdateServer::tokenBucketPerSource()
{
    SourceRateLimiter limiter({ 1.0, 3, 2 });
    const QHostAddress a(QStringLiteral("127.0.0.1"));
    const QHostAddress b(QStringLiteral("::1"));
    const QHostAddress c(QStringLiteral("127.0.0.2"));
    for (int i = 0; i < 3; ++i)
        QVERIFY(limiter.allow(a, 0));
    QVERIFY(!limiter.allow(a, 0));
    QVERIFY(!limiter.allow(a, 999));
    QVERIFY(limiter.allow(a, 1000));
    QVERIFY(limiter.allow(b, 1000));
    // The table is full of sources that are still refilling.
    QVERIFY(!limiter.allow(c, 1000));
    QVERIFY(limiter.allow(c, 10000));
    QCOMPARE(limiter.trackedSources(), 1);
}

QTEST_MAIN(TestUpdateServer)
#include "tst_updateserver.moc"
