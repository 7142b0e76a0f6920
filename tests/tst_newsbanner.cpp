#include "httptestserver.h"
#include "ui/changelogviewer.h"
#include "ui/markupbudget.h"
#include "ui/newsbanner.h"
#include "ui/urlclicklabel.h"
#include "ui/weblinkopener.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimerEvent>
#include <QToolTip>

namespace {

int redPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            count += c.red() > 200 && c.green() < 60 && c.blue() < 60 ? 1 : 0;
        }
    }
    return count;
}

} // namespace

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
    void outsideTextLoadsNothing_data();
    void outsideTextLoadsNothing();
    void markupBudget_data();
    void markupBudget();
    void newsSizeBounded();

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

void TestNewsBanner::outsideTextLoadsNothing_data()
{
    QTest::addColumn<QString>("markup"); // @ stands for a directory holding red.png, # for a server's port
    QTest::addColumn<bool>("red");

    QImage image(40, 12, QImage::Format_RGB32);
    image.fill(Qt::red);
    QBuffer png;
    png.open(QIODevice::WriteOnly);
    image.save(&png, "PNG");
    QTest::newRow("image from a local file") << "<img src=\"@/red.png\">" << false;
    QTest::newRow("image from a file: URL") << "<img src=\"file://@/red.png\">" << false;
    QTest::newRow("image by a relative name") << "<img src=\"red.png\">" << false;
    QTest::newRow("background from a local file")
        << "<div style=\"background-image:url(@/red.png)\">xxxxxxxxxxxx</div>" << false;
    QTest::newRow("device without end") << "<img src=\"/dev/zero\">" << false;
    QTest::newRow("image from a server") << "<img src=\"http://127.0.0.1:#/red.png\">" << false;
    QTest::newRow("image in a data: URL")
        << "<img src=\"data:image/png;base64," + QString::fromLatin1(png.data().toBase64()) + "\">" << false;
    QTest::newRow("tool tip naming a local image")
        << "<span title=\"&lt;img src='@/red.png'&gt;\">MMMM MMMM MMMM MMMM</span>" << false;
    QTest::newRow("30 nested red tables")
        << QString("<table bgcolor=\"red\"><tr><td>x").repeated(30) << false;
    QTest::newRow("colour markup") << "<span style=\"color:red;font-size:30px\"><b>MMMM</b></span>" << true;
    QTest::newRow("image the updater added") << "<img src=\"banner:\">" << true;
}

// News and changelog alike: what their markup names is never read; what the
// updater added itself, and the markup, still show.
void TestNewsBanner::outsideTextLoadsNothing()
{
    QFETCH(QString, markup);
    QFETCH(bool, red);

    QTemporaryDir dir;
    HttpTestServer server;
    QVERIFY(dir.isValid() && server.listen());
    QImage image(40, 12, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(image.save(dir.filePath("red.png")));
    const QString previousDirectory = QDir::currentPath();
    QVERIFY(QDir::setCurrent(dir.path()));
    const auto restore = qScopeGuard([&] { QDir::setCurrent(previousDirectory); });
    markup.replace('@', dir.path()).replace('#', QString::number(server.port()));
    const QUrl added(QStringLiteral("banner:"));

    banner->findChild<QTextDocument*>()->addResource(QTextDocument::ImageResource, added, image);
    setNews(markup);
    tick(360);
    QCOMPARE(redPixels(banner->grab().toImage()) > 0, red);

    ChangeLogViewer viewer(nullptr, dir.path(), nullptr);
    auto* view = viewer.findChild<QTextEdit*>(QStringLiteral("changeLogTextEdit"));
    view->document()->addResource(QTextDocument::ImageResource, added, image);
    viewer.load(markup);
    viewer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&viewer));
    QCOMPARE(redPixels(view->viewport()->grab().toImage()) > 0, red);
    const QPoint onText = view->cursorRect(QTextCursor(view->document())).center() + QPoint(10, 0);
    QHelpEvent hover(QEvent::ToolTip, onText, view->viewport()->mapToGlobal(onText));
    QCoreApplication::sendEvent(view->viewport(), &hover);
    QVERIFY(!QToolTip::isVisible());

    QCoreApplication::processEvents();
    QCOMPARE(server.requestCount(), 0);
}

void TestNewsBanner::markupBudget_data()
{
    QTest::addColumn<QString>("markup");
    QTest::addColumn<bool>("rich");

    QTest::newRow("links, bold, colours")
        << "<a href=\"https://a.example/\">a</a> <b>b</b> <font color=red>c</font> <br/>" << true;
    QTest::newRow("as many tags as allowed") << QString("<b>").repeated(MarkupBudget::MaxTags) << true;
    QTest::newRow("one tag more") << QString("<b>").repeated(MarkupBudget::MaxTags + 1) << false;
    QTest::newRow("as long as allowed") << QString(MarkupBudget::MaxLength, 'x') << true;
    QTest::newRow("one character longer") << QString(MarkupBudget::MaxLength + 1, 'x') << false;
    QTest::newRow("table") << "<table><tr><td>x</td></tr></table>" << false;
    QTest::newRow("table in capitals after white space") << "<\n TABLE>" << false;
    QTest::newRow("name that only begins with table") << "<tablex>" << true;
    QTest::newRow("closing table tag") << "</table>" << true;
    QTest::newRow("style element") << "<style>b b { color: red }</style>" << false;
    QTest::newRow("style element in capitals") << "<STYLE>b { color: red }</STYLE>" << false;
    QTest::newRow("style attribute") << "<b style=\"color: red\">x</b>" << true;
    QTest::newRow("name with a character reference") << "<t&#97;ble>" << false;
    QTest::newRow("quoted name") << "<'table'>" << false;
}

void TestNewsBanner::markupBudget()
{
    QFETCH(QString, markup);
    QFETCH(bool, rich);
    QCOMPARE(MarkupBudget::affords(markup), rich);
}

void TestNewsBanner::newsSizeBounded()
{
    setNews(QStringLiteral("<p style=\"line-height:1000000px\">tall</p>"));
    QCOMPARE(banner->minimumHeight(), NewsBanner::MaxHeight);
    QCOMPARE(banner->maximumHeight(), NewsBanner::MaxHeight);
    const QString longNews = QString(NewsBanner::MaxNewsLength, 'x');
    setNews(longNews + "<b>cut</b>");
    QCOMPARE(banner->findChild<QTextDocument*>()->toPlainText(), longNews);
}

QTEST_MAIN(TestNewsBanner)
#include "tst_newsbanner.moc"
