#include "serverquery/banner.h"
#include "udptestpeer.h"

#include <QSignalSpy>
#include <QTest>

// The banner query against a scripted UDP peer on 127.0.0.1.
class TestServerQueries : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void bannerAnswer_data();
    void bannerAnswer();
    void bannerRetriesOnceThenGivesUp();
    void forgedBannerAnswerIsIgnored();
};

void TestServerQueries::bannerAnswer_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("bannerUrl");
    QTest::addColumn<QString>("clickUrl");

    QTest::newRow("two addresses") << QByteArray("http://img.example/b.png,http://www.example/") << true
                                   << QStringLiteral("http://img.example/b.png")
                                   << QStringLiteral("http://www.example/");
    QTest::newRow("only a comma") << QByteArray(",") << true << QString() << QString();
    QTest::newRow("three parts") << QByteArray("http://a/x?p=1,2,http://b/") << false << QString()
                                 << QString();
    QTest::newRow("no comma") << QByteArray("http://a/") << false << QString() << QString();
    QTest::newRow("latin-1 bytes") << QByteArray("http://a/\xe9.png,http://b/") << true
                                   << QStringLiteral("http://a/\u00e9.png") << QStringLiteral("http://b/");
}

void TestServerQueries::bannerAnswer()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, found);
    QFETCH(QString, bannerUrl);
    QFETCH(QString, clickUrl);

    UdpTestPeer peer;
    QVERIFY(peer.isListening());
    peer.setReplies({ answer });
    Banner banner(nullptr, QStringLiteral("127.0.0.1"), peer.port(), 60000);
    QSignalSpy spy(&banner, &Banner::bannerFound);
    banner.run();

    QTRY_COMPARE(peer.received().size(), 1);
    QCOMPARE(peer.received().at(0), QByteArray("\x01\x01", 2));
    if (found) {
        QTRY_COMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toString(), bannerUrl);
        QCOMPARE(spy.at(0).at(1).toString(), clickUrl);
    } else {
        // The answer arrives; a malformed one ends the exchange silently.
        QTest::qWait(100);
        QCOMPARE(spy.count(), 0);
    }
}

void TestServerQueries::bannerRetriesOnceThenGivesUp()
{
    UdpTestPeer peer;
    peer.setReplies({ std::nullopt, std::nullopt, std::nullopt });
    Banner banner(nullptr, QStringLiteral("127.0.0.1"), peer.port(), 50);
    QSignalSpy spy(&banner, &Banner::bannerFound);
    banner.run();

    QTRY_COMPARE(peer.received().size(), 2);
    QTest::qWait(300); // many time-outs long: no third request may follow
    QCOMPARE(peer.received().size(), 2);
    QCOMPARE(spy.count(), 0);
}

void TestServerQueries::forgedBannerAnswerIsIgnored()
{
    UdpTestPeer peer;
    peer.setForgedReplies({ QByteArray("http://127.0.0.1/forged.png,http://127.0.0.1/forged") });
    peer.setReplies({ QByteArray("http://127.0.0.1/b.png,http://127.0.0.1/") });
    Banner banner(nullptr, QStringLiteral("127.0.0.1"), peer.port(), 60000);
    QSignalSpy spy(&banner, &Banner::bannerFound);
    banner.run();
    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("http://127.0.0.1/b.png"));
}

QTEST_MAIN(TestServerQueries)
#include "tst_serverqueries.moc"
