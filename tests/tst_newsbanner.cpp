#include "ui/newsbanner.h"
#include "ui/urlclicklabel.h"
#include "ui/weblinkopener.h"

#include <QCoreApplication>
#include <QTest>
#include <QTimerEvent>

class TestNewsBanner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void clickAddress_data();
    void clickAddress();
    void linkWinsOverClickAddress();
    void onlyWebAddressesOpened_data();
    void onlyWebAddressesOpened();
    void heightFollowsNews();
    void linkUnderPointAfterScrolling();
    void pauseAndRestart();
    void shrinkingWidth();

private:
    void tick(int steps = 1);
    void setNews(const QString& html, int width = 200);

    std::unique_ptr<NewsBanner> banner;
    QList<QUrl> opened;
};

void TestNewsBanner::init()
{
    opened.clear();
    WebLinkOpener::setOpener([this](const QUrl& url) {
        opened.append(url);
        return true;
    });
    banner = std::make_unique<NewsBanner>();
}

void TestNewsBanner::cleanup()
{
    banner.reset();
    WebLinkOpener::setOpener({});
}

// Shows the banner first: the ticker starts from the width it has then.
void TestNewsBanner::setNews(const QString& html, int width)
{
    banner->resize(width, 16);
    banner->show();
    QVERIFY(QTest::qWaitForWindowExposed(banner.get()));
    banner->setNews(html);
}

// One step of the scroll timer, delivered directly instead of waiting for it.
void TestNewsBanner::tick(int steps)
{
    for (int i = 0; i < steps; ++i) {
        QTimerEvent event(banner->timerId());
        QCoreApplication::sendEvent(banner.get(), &event);
    }
}

void TestNewsBanner::clickAddress_data()
{
    QTest::addColumn<QString>("news");
    QTest::addColumn<QString>("clickUrl");

    QTest::newRow("leading comment") << "<!--URL=https://a.example/x-->News"
                                     << "https://a.example/x";
    QTest::newRow("not trimmed") << "<!--URL= https://a.example/ -->News"
                                 << " https://a.example/ ";
    QTest::newRow("key in lower case") << "<!--url=https://a.example/-->News"
                                       << "";
    QTest::newRow("key only contains URL") << "<!--XURL=https://a.example/-->News"
                                           << "";
    QTest::newRow("no equals sign") << "<!--https://a.example/-->News"
                                    << "";
    QTest::newRow("no comment") << "News <b>only</b>"
                                << "";
    QTest::newRow("two comments span first to last") << "<!--URL=https://a.example/--> News <!--more-->"
                                                     << "https://a.example/--> News <!--more";
    QTest::newRow("across lines") << "<!--URL=https://a.example/\n-->News"
                                  << "https://a.example/\n";
}

void TestNewsBanner::clickAddress()
{
    QFETCH(QString, news);
    QFETCH(QString, clickUrl);

    setNews(news);
    QCOMPARE(banner->getClickUrl(), clickUrl);
    QTest::mouseClick(banner.get(), Qt::LeftButton, {}, QPoint(2, 8));
    const QUrl expected(clickUrl);
    QCOMPARE(opened, WebLinkOpener::isWebAddress(expected) ? QList<QUrl> { expected } : QList<QUrl> {});
}

void TestNewsBanner::linkWinsOverClickAddress()
{
    setNews(
        QStringLiteral("<!--URL=https://click.example/--><a href=\"https://link.example/\">LINK</a> text"));
    const QPoint onLink(int(banner->getScrollX()) + 2, 8);
    QCOMPARE(banner->anchorAt(onLink), QStringLiteral("https://link.example/"));
    QTest::mouseClick(banner.get(), Qt::RightButton, {}, onLink);
    QTest::mouseClick(banner.get(), Qt::LeftButton, {}, QPoint(2, 8));
    QCOMPARE(opened,
        (QList<QUrl> {
            QUrl(QStringLiteral("https://link.example/")), QUrl(QStringLiteral("https://click.example/")) }));
}

void TestNewsBanner::onlyWebAddressesOpened_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("opens");

    QTest::newRow("https") << "https://a.example/news" << true;
    QTest::newRow("http, upper case") << "HTTP://A.EXAMPLE/" << true;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("javascript") << "javascript:alert(1)" << false;
    QTest::newRow("scheme only contains http") << "httpx://a.example/" << false;
    QTest::newRow("http without host") << "http:/etc/passwd" << false;
    QTest::newRow("empty") << "" << false;
}

void TestNewsBanner::onlyWebAddressesOpened()
{
    QFETCH(QString, url);
    QFETCH(bool, opens);
    const QList<QUrl> expected = opens ? QList<QUrl> { QUrl(url) } : QList<QUrl> {};
    if (!opens && !url.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Not opening ")));

    UrlClickLabel label;
    label.setUrl(url);
    QTest::mouseClick(&label, Qt::LeftButton);
    QCOMPARE(opened, expected);

    opened.clear();
    if (!opens && !url.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Not opening ")));
    setNews(QStringLiteral("<!--URL=%1-->News").arg(url));
    QTest::mouseClick(banner.get(), Qt::LeftButton, {}, QPoint(2, 8));
    QCOMPARE(opened, expected);

    opened.clear();
    if (!opens && !url.isEmpty())
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Not opening ")));
    setNews(QStringLiteral("<a href=\"%1\">LINK</a> text").arg(url));
    QTest::mouseClick(banner.get(), Qt::LeftButton, {}, QPoint(int(banner->getScrollX()) + 2, 8));
    QCOMPARE(opened, expected);
}

void TestNewsBanner::heightFollowsNews()
{
    QCOMPARE(banner->minimumHeight(), 16);
    QCOMPARE(banner->maximumHeight(), 16);
    setNews(QStringLiteral("<div style=\"font-size:30px\">Big news</div>"));
    QVERIFY(banner->minimumHeight() > 16);
    QCOMPARE(banner->maximumHeight(), banner->minimumHeight());
}

void TestNewsBanner::linkUnderPointAfterScrolling()
{
    setNews(QStringLiteral("<a href=\"https://link.example/\">L</a> and a plain text after the link"));
    const QPoint start(int(banner->getScrollX()) + 2, 8);
    QCOMPARE(banner->anchorAt(start), QStringLiteral("https://link.example/"));
    tick(120);
    QCOMPARE(banner->getScrollX(), 190.0f - 60.0f);
    QCOMPARE(banner->anchorAt(start), QString());
    QCOMPARE(
        banner->anchorAt(QPoint(int(banner->getScrollX()) + 2, 8)), QStringLiteral("https://link.example/"));
}

void TestNewsBanner::pauseAndRestart()
{
    setNews(QStringLiteral("<b>x</b>"));
    int steps = 0;
    while (!banner->isPaused() && steps < 2000) {
        tick();
        banner->repaint();
        ++steps;
    }
    QVERIFY(banner->isPaused());
    // From 190 until the text's end is beyond -10: at least 200 pixels at half a pixel a step.
    QVERIFY2(steps > 400, qPrintable(QString::number(steps)));
    QCOMPARE(banner->getScrollX(), 190.0f);
    tick();
    QVERIFY(!banner->isPaused());
    QCOMPARE(banner->getScrollX(), 189.5f);
}

void TestNewsBanner::shrinkingWidth()
{
    setNews(QStringLiteral("News"), 400);
    QCOMPARE(banner->getScrollX(), 390.0f);
    banner->resize(200, banner->height());
    banner->repaint();
    QCOMPARE(banner->getScrollX(), 190.0f);
    banner->resize(300, banner->height());
    banner->repaint();
    QCOMPARE(banner->getScrollX(), 190.0f);
}

QTEST_MAIN(TestNewsBanner)
#include "tst_newsbanner.moc"
