#include "serverquery/banner.h"
#include "serverquery/updatechecker.h"
#include "updateserver.h"

#include <QSignalSpy>
#include <QTest>
#include <QThread>

// The reference update server as the updater's own query classes see it.
class TestUpdateServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersTheVersionQuery();
    void answersTheBannerQuery();
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
    QCOMPARE(checker.getClientVersionByChannel(Stable), qMakePair(QStringLiteral("12"), QStringLiteral("3.0.12")));
    QCOMPARE(checker.getClientVersionByChannel(Beta), qMakePair(QStringLiteral("13"), QStringLiteral("3.1 beta#2")));
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

QTEST_MAIN(TestUpdateServer)
#include "tst_updateserver.moc"
