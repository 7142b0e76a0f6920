#include "app/configuration.h"
#include "serverquery/updatechecker.h"
#include "udptestpeer.h"

#include <QtTest>

namespace {

// Long enough for a loaded machine to answer, short enough for silent peers.
const int AnswerTimeoutMs = 3000;
const int SilenceTimeoutMs = 200;

const QByteArray VersionRequest("3\0", 2);
const QByteArray NewsRequest("*\0", 2);

} // namespace

class TestUpdateChecker : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sendsExactRequests();
    void parsesChannelList_data();
    void parsesChannelList();
    void newsText_data();
    void newsText();
    void silentServerFails_data();
    void silentServerFails();
    void retryRepeatsWholeExchange();
    void abortGivesEmptyPairAndKeepsNews();
    void forgedAnswersAreIgnored();
};

void TestUpdateChecker::sendsExactRequests()
{
    UdpTestPeer peer;
    QVERIFY(peer.isListening());
    peer.setReplies({ QByteArray("1#1.0"), QByteArray("news") });
    UpdateChecker checker(QStringLiteral("127.0.0.1"), peer.port(), AnswerTimeoutMs);
    QVERIFY(checker.checkUpdate());
    QCOMPARE(peer.received(), QList<QByteArray>({ VersionRequest, NewsRequest }));
}

void TestUpdateChecker::parsesChannelList_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("label");

    QTest::newRow("entry without label") << QByteArray("a,b#c") << int(Stable) << "a"
                                         << "";
    QTest::newRow("entry with label") << QByteArray("a,b#c") << int(Beta) << "b"
                                      << "c";
    QTest::newRow("missing alpha entry") << QByteArray("a,b#c") << int(Alpha) << ""
                                         << "";
    QTest::newRow("empty first entry") << QByteArray(",x#y") << int(Stable) << ""
                                       << "";
    QTest::newRow("entry after empty one") << QByteArray(",x#y") << int(Beta) << "x"
                                           << "y";
    QTest::newRow("label keeps further hashes") << QByteArray("7#3.1#rc") << int(Stable) << "7"
                                                << "3.1#rc";
    QTest::newRow("third entry is alpha")
        << QByteArray("100#1.0.0,200#2.0.0,300#3.0.0") << int(Alpha) << "300"
        << "3.0.0";
    QTest::newRow("text ends at nul") << QByteArray("1#a\0,2#b", 8) << int(Beta) << ""
                                      << "";
    QTest::newRow("latin-1 bytes") << QByteArray("5#v\xe9") << int(Stable) << "5"
                                   << QString::fromUtf8("v\u00e9");
    QTest::newRow("cut after 511 bytes")
        << QByteArray("1#") + QByteArray(600, 'x') << int(Stable) << "1" << QString(509, QLatin1Char('x'));
}

void TestUpdateChecker::parsesChannelList()
{
    QFETCH(QByteArray, answer);
    QFETCH(int, channel);

    UdpTestPeer peer;
    peer.setReplies({ answer, QByteArray("news") });
    UpdateChecker checker(QStringLiteral("127.0.0.1"), peer.port(), AnswerTimeoutMs);
    QVERIFY(checker.checkUpdate());
    const QPair<QString, QString> pair = checker.getClientVersionByChannel(UpdateChannel(channel));
    QTEST(pair.first, "number");
    QTEST(pair.second, "label");
}

void TestUpdateChecker::newsText_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("news");

    QTest::newRow("html") << QByteArray("<b>New</b> <!--http://x/-->") << "<b>New</b> <!--http://x/-->";
    QTest::newRow("text ends at nul") << QByteArray("before\0after", 12) << "before";
    QTest::newRow("cut after 4095 bytes") << QByteArray(5000, 'n') << QString(4095, QLatin1Char('n'));
}

void TestUpdateChecker::newsText()
{
    QFETCH(QByteArray, answer);

    UdpTestPeer peer;
    peer.setReplies({ QByteArray("1"), answer });
    UpdateChecker checker(QStringLiteral("127.0.0.1"), peer.port(), AnswerTimeoutMs);
    QVERIFY(checker.checkUpdate());
    QTEST(checker.getNews(), "news");
}

void TestUpdateChecker::silentServerFails_data()
{
    QTest::addColumn<QList<UdpTestPeer::Reply>>("replies");
    QTest::addColumn<int>("requests");

    QTest::newRow("no version answer") << QList<UdpTestPeer::Reply>() << 1;
    QTest::newRow("no news answer") << QList<UdpTestPeer::Reply>({ QByteArray("1#1.0") }) << 2;
}

void TestUpdateChecker::silentServerFails()
{
    QFETCH(QList<UdpTestPeer::Reply>, replies);

    UdpTestPeer peer;
    peer.setReplies(replies);
    UpdateChecker checker(QStringLiteral("127.0.0.1"), peer.port(), SilenceTimeoutMs);
    QVERIFY(!checker.checkUpdate());
    QTEST(int(peer.received().size()), "requests");
}

void TestUpdateChecker::retryRepeatsWholeExchange()
{
    UdpTestPeer peer;
    // The first request goes unanswered; the repeated exchange succeeds.
    peer.setReplies({ std::nullopt, QByteArray("10#1.0,20#2.0"), QByteArray("fresh news") });
    Configuration config;
    config.setVersionQueryServer(QStringLiteral("127.0.0.1"), peer.port(), 1000);
    int prompts = 0;
    config.setRetryPrompt([&prompts] {
        ++prompts;
        return true;
    });

    QString news;
    const QPair<QString, QString> pair = config.getLatestClientVersion(Beta, news);
    QCOMPARE(prompts, 1);
    QCOMPARE(pair, qMakePair(QStringLiteral("20"), QStringLiteral("2.0")));
    QCOMPARE(news, QStringLiteral("fresh news"));
    QCOMPARE(peer.received(), QList<QByteArray>({ VersionRequest, VersionRequest, NewsRequest }));
}

void TestUpdateChecker::abortGivesEmptyPairAndKeepsNews()
{
    UdpTestPeer peer;
    Configuration config;
    config.setVersionQueryServer(QStringLiteral("127.0.0.1"), peer.port(), SilenceTimeoutMs);
    int prompts = 0;
    config.setRetryPrompt([&prompts] {
        ++prompts;
        return prompts < 3;
    });

    QString news = QStringLiteral("unchanged");
    const QPair<QString, QString> pair = config.getLatestClientVersion(Stable, news);
    QCOMPARE(prompts, 3);
    QVERIFY(pair.first.isEmpty());
    QVERIFY(pair.second.isEmpty());
    QCOMPARE(news, QStringLiteral("unchanged"));
    QCOMPARE(peer.received().size(), 3);
}

void TestUpdateChecker::forgedAnswersAreIgnored()
{
    UdpTestPeer peer;
    // Each forged answer comes from another port, ahead of the server's.
    peer.setForgedReplies({ QByteArray("99#forged"), QByteArray("forged news") });
    peer.setReplies({ QByteArray("12#3.0"), QByteArray("news") });
    UpdateChecker checker(QStringLiteral("127.0.0.1"), peer.port(), AnswerTimeoutMs);
    QVERIFY(checker.checkUpdate());
    QCOMPARE(
        checker.getClientVersionByChannel(Stable), qMakePair(QStringLiteral("12"), QStringLiteral("3.0")));
    QCOMPARE(checker.getNews(), QStringLiteral("news"));
}

QTEST_GUILESS_MAIN(TestUpdateChecker)
#include "tst_updatechecker.moc"
