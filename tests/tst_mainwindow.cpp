#include "update/digestcache.h"
#include "update/installationrecord.h"
#include "update/updateinidata.h"
#include "app/configuration.h"
#include "app/singleinstancechecker.h"
#include "update/updateengine.h"
#include "transfer/transferengine.h"
#include "demosigner.h"
#include "filetree.h"
#include "httptestserver.h"
#include "installfixture.h"
#include "releasefixture.h"
#include "udptestpeer.h"
#include "ui/changelogviewer.h"
#include "ui/mainwindow.h"
#include "ui/urlclicklabel.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QLabel>
#include <QLoggingCategory>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QTimer>
#include <QTest>
#include <QTranslator>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

const QString updateType = QStringLiteral("client_linux_amd64");
const int RunTimeoutMs = 30000;

struct Box
{
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QWidget* parent = nullptr;
};

// Runs the event loop as main does, until the window ends it; -1 when it
// does not within the time-out.
int execUntilExit(int timeoutMs)
{
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &guard, [] { QCoreApplication::exit(-1); });
    guard.start(timeoutMs);
    return QCoreApplication::exec();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void buttonAcrossRuns();
    void errorBoxesCentredOnShownWindow();
    void offerStatus_data();
    void offerStatus();
    void closeDuringRun_data();
    void closeDuringRun();
    void closeWhileCancelling();
    void abortQuestionDefaultsToNo();
    void errorBoxShowsTextAsWritten();
    void pauseKeepsWhatArrived();
    void transferLabels_data();
    void transferLabels();
    void timeLeft_data();
    void timeLeft();
    void progressTruncates();
    void logShowsTextAsWritten();
    void logCollapsesRepeats_data();
    void logCollapsesRepeats();
    void logKeepsLatestLines();
    void otherInstance_data();
    void otherInstance();
    void bannerImage_data();
    void bannerImage();
    void changelogHoldsLaunch_data();
    void changelogHoldsLaunch();
    void germanTranslation();

private:
    void publishRelease();
    template <typename T> T* widget(const char* name) const
    {
        return window->findChild<T*>(QLatin1String(name));
    }
    UpdateEngine* engine() const { return window->findChild<UpdateEngine*>(); }
    // Hidden, the log view takes its lines only when it is shown.
    QStringList logLines() const
    {
        widget<QPushButton>("detailsButton")->setChecked(true);
        return widget<QTextEdit>("outputTextEdit")->toPlainText().split(QLatin1Char('\n'));
    }
    QString status() const { return widget<QLabel>("statusLabel")->text(); }

    std::unique_ptr<InstallFixture> fixture;
    QString install;
    QString source;
    QString mirrorRoot;
    HttpTestServer* server = nullptr;
    std::unique_ptr<UdpTestPeer> bannerServer;
    std::unique_ptr<Configuration> config;
    std::unique_ptr<MainWindow> window;
    QList<Box> boxes;
    QMessageBox::StandardButton answer = QMessageBox::Ok;
    bool stallFiles = false;
    QString withheld;
};

void TestMainWindow::initTestCase()
{
    // The window echoes its log to the terminal; the tests read the log itself.
    QLoggingCategory::setFilterRules(QStringLiteral("default.info=false"));
}

void TestMainWindow::init()
{
    fixture = std::make_unique<InstallFixture>(QStringList { QStringLiteral("m1"), QStringLiteral("m2") });
    QVERIFY(fixture->isValid());
    QVERIFY(fixture->writeMirrorsIni(1));
    install = fixture->install;
    source = fixture->work.filePath(QStringLiteral("source"));
    mirrorRoot = fixture->mirrorRoot;
    server = &fixture->server;
    stallFiles = false;
    withheld.clear();
    boxes.clear();
    fixture->intercept = [this](const QString& path, HttpTestServer::Response response) {
        if (!withheld.isEmpty() && path.endsWith(withheld))
            return HttpTestServer::Response::withStatus(404);
        if (response.status == 200 && stallFiles && !path.contains(QLatin1String(".ini"))
            && !path.contains(QLatin1String(".manifest")))
            response.stallAfter = 10;
        return response;
    };

    // A banner server that never answers, so nothing goes beyond this machine.
    bannerServer = std::make_unique<UdpTestPeer>();
    QVERIFY(bannerServer->isListening());
    config = std::make_unique<Configuration>(fixture->layout());
    config->updateTypeDesc.updateType = updateType;
    config->updateTypeDesc.version = 5;
    window = std::make_unique<MainWindow>(*config, QStringLiteral("127.0.0.1"), bannerServer->port());
    window->setPrompt([this](QWidget* parent, QMessageBox::Icon icon, const QString& title,
                          const QString& text, QMessageBox::StandardButtons) {
        boxes.append({ icon, title, text, parent });
        return answer;
    });
}

void TestMainWindow::cleanup()
{
    window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    config.reset();
    bannerServer.reset();
    fixture.reset();
}

void TestMainWindow::publishRelease()
{
    QVERIFY(ReleaseFixture::writeTree(source,
        {
            { "vx3client_runscript.sh", "#!/bin/sh\nexec ./vx3client_linux_amd64\n" },
            { "vx3client_linux_amd64", ReleaseFixture::bytes(200000, 1) },
            { "data/a.dat", ReleaseFixture::bytes(40000, 2) },
            { "data/b.dat", ReleaseFixture::bytes(50000, 3) },
        }));
    QVERIFY(ReleaseFixture::publish(source, mirrorRoot, 5));
}

void TestMainWindow::errorBoxesCentredOnShownWindow()
{
    Q_EMIT engine()->fatalConfigError(QStringLiteral("before the window"));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    Q_EMIT engine()->fatalConfigError(QStringLiteral("over the window"));
    QCOMPARE(boxes.size(), 2);
    QCOMPARE(boxes.at(0).parent, nullptr);
    QCOMPARE(boxes.at(1).parent, window.get());
}

void TestMainWindow::buttonAcrossRuns()
{
    SKIP_UNLESS_DEMO_KEY();
    publishRelease();
    QPushButton* start = widget<QPushButton>("startButton");
    QProgressBar* progress = widget<QProgressBar>("totalProgressBar");

    // A file no mirror has: the run fails and can be restarted.
    withheld = QStringLiteral("data/b.dat");
    start->click();
    QVERIFY(!start->isEnabled());
    QCOMPARE(start->text(), QStringLiteral("Start Update"));
    QTRY_COMPARE_WITH_TIMEOUT(boxes.size(), 1, RunTimeoutMs);
    QCOMPARE(boxes.at(0).icon, QMessageBox::Critical);
    QCOMPARE(boxes.at(0).title, QStringLiteral("Update"));
    // The reason comes first, in one sentence.
    const QString reason = status();
    QVERIFY2(reason.startsWith(QLatin1String("No mirror could deliver "))
            && reason.endsWith(QLatin1String("data/b.dat.")),
        qPrintable(reason));
    QCOMPARE(
        boxes.at(0).text, reason + QStringLiteral(" Update cancelled. Push \"Details\" to check reasons."));
    QCOMPARE(start->text(), QStringLiteral("Restart"));
    QVERIFY(start->isEnabled());
    QTRY_COMPARE(logLines().last(), QStringLiteral("Update cancelled"));
    QCOMPARE(progress->value(), 0);
    QVERIFY(!engine()->busy());

    withheld.clear();
    start->click();
    QVERIFY(!start->isEnabled());
    QTRY_COMPARE_WITH_TIMEOUT(start->text(), QStringLiteral("Start Voxmeadow"), RunTimeoutMs);
    QVERIFY(start->isEnabled());
    QCOMPARE(progress->value(), 1000);
    QCOMPARE(status(), QStringLiteral("Voxmeadow 3 is up to date: version 5"));
    QCOMPARE(boxes.size(), 1);
    QTRY_VERIFY(logLines().contains(QStringLiteral("Update successfully finished")));
    QCOMPARE(ReleaseFixture::contents(install,
                 { QStringLiteral("mirrors.ini"), QStringLiteral("update.ini"), DigestCache::fileName() }),
        ReleaseFixture::contents(source));
}

void TestMainWindow::offerStatus_data()
{
    QTest::addColumn<QString>("declined");
    QTest::addColumn<QString>("freshness");
    // "installed": the offered version is recorded as installed;
    // "unfinished": so is a run begun since.
    QTest::addColumn<QString>("recorded");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("after"); // empty: no run
    QTest::addColumn<QString>("headingAfter");

    QTest::newRow("older than the installed version") << "Offered version 1 is older."
                                                      << ""
                                                      << ""
                                                      << "Offered version 1 is older."
                                                      << "Voxmeadow is newer than the offered version"
                                                      << "Start Voxmeadow"
                                                      << ""
                                                      << "";
    QTest::newRow("not confirmed as the latest") << ""
                                                 << "Not confirmed."
                                                 << ""
                                                 << "Not confirmed."
                                                 << "Update to Voxmeadow version 5"
                                                 << "Start Update"
                                                 << "Voxmeadow 3 version 5 is installed. Not confirmed."
                                                 << "Voxmeadow version 5 is installed";
    QTest::newRow("recorded as installed") << ""
                                           << ""
                                           << "installed"
                                           << ""
                                           << "Voxmeadow version 5 is installed"
                                           << "Check Files"
                                           << "Voxmeadow 3 is up to date: version 5"
                                           << "Voxmeadow version 5 is up to date";
    QTest::newRow("recorded, and a run not finished since") << ""
                                                            << ""
                                                            << "unfinished"
                                                            << ""
                                                            << "Update to Voxmeadow version 5"
                                                            << "Start Update"
                                                            << ""
                                                            << "";
}

void TestMainWindow::offerStatus()
{
    QFETCH(QString, declined);
    QFETCH(QString, freshness);
    QFETCH(QString, recorded);
    QFETCH(QString, after);
    config->declinedOffer = declined;
    config->freshnessNote = freshness;
    if (!recorded.isEmpty())
        QVERIFY(InstallationRecord::write(fixture->layout(), { updateType, 5, -1 }));
    if (recorded == QLatin1String("unfinished"))
        QVERIFY(UpdateIniData::modify(fixture->layout(), 5, fixture->tmp, updateType));
    window->setUIToConfigSpecs();
    QPushButton* start = widget<QPushButton>("startButton");
    const auto shownHeading = [this] {
        return QTextDocumentFragment::fromHtml(widget<QLabel>("versionLabel")->text()).toPlainText();
    };
    QTEST(status(), "before");
    QFETCH(QString, heading);
    QVERIFY2(shownHeading().startsWith(heading), qPrintable(shownHeading()));
    QTEST(start->text(), "button");
    QVERIFY(start->isEnabled());
    if (after.isEmpty())
        return;
    SKIP_UNLESS_DEMO_KEY();
    publishRelease();
    start->click();
    QTRY_COMPARE_WITH_TIMEOUT(start->text(), QStringLiteral("Start Voxmeadow"), RunTimeoutMs);
    QCOMPARE(status(), after);
    QFETCH(QString, headingAfter);
    QVERIFY2(shownHeading().startsWith(headingAfter), qPrintable(shownHeading()));
}

void TestMainWindow::closeDuringRun_data()
{
    QTest::addColumn<int>("reply");
    QTest::newRow("abort") << int(QMessageBox::Yes);
    QTest::newRow("keep running") << int(QMessageBox::No);
}

void TestMainWindow::closeDuringRun()
{
    QFETCH(int, reply);
    SKIP_UNLESS_DEMO_KEY();
    publishRelease();
    stallFiles = true;
    answer = QMessageBox::StandardButton(reply);
    QPushButton* start = widget<QPushButton>("startButton");
    window->show();
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(server->requestedPaths().size() >= 3, RunTimeoutMs); // ini, sig, a file

    if (answer == QMessageBox::Yes) {
        // The process ends normally once the cancellation is complete, without the "Update" box.
        QTimer::singleShot(0, window.get(), [this] { window->close(); });
        QCOMPARE(execUntilExit(RunTimeoutMs), 0);
        QCOMPARE(boxes.size(), 1);
        QVERIFY(!engine()->busy());
    } else {
        QVERIFY(!window->close());
        QVERIFY(!window->close());
        QCOMPARE(boxes.size(), 2);
        QVERIFY(engine()->busy());
        stallFiles = false;
        server->releaseStalled();
        QTRY_COMPARE_WITH_TIMEOUT(start->text(), QStringLiteral("Start Voxmeadow"), RunTimeoutMs);
        QVERIFY(window->close());
        QCOMPARE(boxes.size(), 2);
    }
}

void TestMainWindow::closeWhileCancelling()
{
    // A run whose cancellation has not completed yet.
    UpdateEngine* runningEngine = engine();
    runningEngine->state = EngineRunning;
    answer = QMessageBox::Yes;
    window->show();
    QVERIFY(!window->close());
    QVERIFY(!window->close());
    QCOMPARE(boxes.size(), 1);
    QCOMPARE(boxes.at(0).icon, QMessageBox::Question);
    QCOMPARE(boxes.at(0).title, QStringLiteral("Question"));
    QCOMPARE(
        boxes.at(0).text, QStringLiteral("<p>Update in progress.</p><p>Are you sure you want to abort?</p>"));
    QCOMPARE(status(), QStringLiteral("Cancelling the update..."));
    QVERIFY(!widget<QPushButton>("startButton")->isEnabled());

    QTimer::singleShot(0, runningEngine, [runningEngine] {
        runningEngine->state = EngineCanceled;
        Q_EMIT runningEngine->updateCanceled();
    });
    QCOMPARE(execUntilExit(RunTimeoutMs), 0);
    QCOMPARE(boxes.size(), 1);
}

void TestMainWindow::abortQuestionDefaultsToNo()
{
    // The real question box, answered with Return.
    window->setPrompt({});
    engine()->state = EngineRunning;
    window->show();
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QTimer::singleShot(0, window.get(), [&defaultButton] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        defaultButton = box->standardButton(box->defaultButton());
        QTest::keyClick(box, Qt::Key_Return);
    });
    QVERIFY(!window->close());
    QCOMPARE(defaultButton, QMessageBox::No);
    QVERIFY(widget<QPushButton>("startButton")->isEnabled());
    QCOMPARE(status(), QString());
    engine()->state = EngineIdle;
}

void TestMainWindow::errorBoxShowsTextAsWritten()
{
    // The real box: markup in a server's answer would name a file for Qt to load.
    window->setPrompt({});
    window->show();
    Qt::TextFormat format = Qt::AutoText;
    QString text;
    QTimer::singleShot(0, window.get(), [&format, &text] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        format = box->textFormat();
        text = box->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    Q_EMIT engine()->error("<img src=\"missing.png\">\x1b[2J");
    QCOMPARE(format, Qt::PlainText);
    QCOMPARE(text, "<img src=\"missing.png\">\\x1b[2J");
}

void TestMainWindow::pauseKeepsWhatArrived()
{
    SKIP_UNLESS_DEMO_KEY();
    publishRelease();
    stallFiles = true;
    answer = QMessageBox::No;
    QPushButton* pause = widget<QPushButton>("pauseButton");
    QVERIFY(!pause->isVisibleTo(window.get()));
    window->show();
    widget<QPushButton>("startButton")->click();
    QTRY_VERIFY_WITH_TIMEOUT(pause->isVisibleTo(window.get()), RunTimeoutMs);
    const int requests = int(server->requestedPaths().size());
    pause->click();
    QCOMPARE(pause->text(), QStringLiteral("Resume"));
    QCOMPARE(engine()->transfers->runningTransfers(), 0);
    // Closing while paused asks as during any run; the run stays.
    QVERIFY(!window->close());
    QCOMPARE(boxes.size(), 1);
    QTest::qWait(1500);
    QVERIFY(pause->isVisibleTo(window.get()));
    QCOMPARE(server->requestedPaths().size(), requests);
    // Held, not gone: the status says so and the counter keeps what arrived,
    // measured as the bar measures it.
    QCOMPARE(status(), QStringLiteral("Downloads paused"));
    QLabel* counter = widget<QLabel>("downloadSizeLabel");
    QVERIFY(counter->isVisibleTo(window.get()));
    QVERIFY2(counter->text().contains(" / "), qPrintable(counter->text()));
    QProgressBar* bar = widget<QProgressBar>("totalProgressBar");
    QCOMPARE(bar->format(), QStringLiteral("Downloads %p%"));

    stallFiles = false;
    server->releaseStalled();
    pause->click();
    QTRY_COMPARE_WITH_TIMEOUT(
        widget<QPushButton>("startButton")->text(), QStringLiteral("Start Voxmeadow"), RunTimeoutMs);
    QVERIFY(!pause->isVisibleTo(window.get()));
    QCOMPARE(bar->format(), QStringLiteral("%p%"));
    QCOMPARE(bar->value(), 1000);
    QCOMPARE(ReleaseFixture::contents(install, { "mirrors.ini", "update.ini", DigestCache::fileName() }),
        ReleaseFixture::contents(source));
    // What arrived before the pause was not asked for again.
    QVERIFY(server->requestHeads().mid(requests).join().contains("\r\nRange: bytes=10-"));
    QTRY_VERIFY(logLines().join(QLatin1Char('\n')).contains("Downloads paused\nDownloads resumed"));
}

void TestMainWindow::timeLeft_data()
{
    QTest::addColumn<QList<quint64>>("done"); // at the engine's ticks, one a second
    QTest::addColumn<quint64>("total");
    QTest::addColumn<QString>("shown");

    QTest::newRow("one tick: no rate yet") << QList<quint64> { 1000 } << quint64(10000) << QString();
    QTest::newRow("seconds") << QList<quint64> { 0, 1000, 2000 } << quint64(10000) << "8 s left";
    QTest::newRow("from the last five seconds only") << QList<quint64> { 0, 100000, 101000, 102000, 103000,
        104000, 105000 } << quint64(185000) << "1 min 20 s left";
    QTest::newRow("hours") << QList<quint64> { 0, 1000 } << quint64(3725000) << "1 h 02 min left";
    QTest::newRow("nothing arrives") << QList<quint64> { 5000, 5000 } << quint64(10000) << QString();
    QTest::newRow("counts start over") << QList<quint64> { 0, 5000, 100 } << quint64(10000) << QString();
}

void TestMainWindow::timeLeft()
{
    QFETCH(QList<quint64>, done);
    QFETCH(quint64, total);
    QFETCH(QString, shown);

    QLabel* label = widget<QLabel>("timeLeftLabel");
    for (quint64 bytes : std::as_const(done))
        Q_EMIT engine()->downloadProgress(bytes, total, 0, true);
    QCOMPARE(label->isVisibleTo(window.get()), !shown.isEmpty());
    if (!shown.isEmpty())
        QCOMPARE(label->text(), QStringLiteral("<span style=\"font-size:small;\">%1</span>").arg(shown));
}

void TestMainWindow::transferLabels_data()
{
    QTest::addColumn<quint64>("done");
    QTest::addColumn<quint64>("total");
    QTest::addColumn<quint64>("speed");
    QTest::addColumn<bool>("downloading");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("rate");
    QTest::addColumn<QLocale>("locale");
    const QLocale english(QLocale::English, QLocale::UnitedStates);

    QTest::newRow("truncated") << quint64(1999) << quint64(5000) << quint64(999) << true << "1 KB / 5 KB"
                               << "0 KB/s" << english;
    QTest::newRow("10 MB, still KB, no grouping")
        << quint64(9999999) << quint64(10000000) << quint64(10000000) << true << "9999 KB / 10000 KB"
        << "10000 KB/s" << english;
    QTest::newRow("one byte over 10 MB")
        << quint64(999999) << quint64(10000001) << quint64(10000001) << true << "0 MB / 10 MB"
        << "10 MB/s" << english;
    QTest::newRow("MB, grouped") << quint64(1234567890) << quint64(9876543210ULL) << quint64(4294967296ULL)
                                 << true << "1,234 MB / 9,876 MB"
                                 << "4,294 MB/s" << english;
    QTest::newRow("GB, German grouping") << quint64(1234567890123ULL) << quint64(9876543210123ULL)
                                         << quint64(12345678901ULL) << true << "1.234 GB / 9.876 GB"
                                         << "12 GB/s" << QLocale(QLocale::German, QLocale::Germany);
    QTest::newRow("not downloading") << quint64(1999) << quint64(5000) << quint64(999) << false << QString()
                                     << QString() << english;
}

void TestMainWindow::transferLabels()
{
    QFETCH(quint64, done);
    QFETCH(quint64, total);
    QFETCH(quint64, speed);
    QFETCH(bool, downloading);
    QFETCH(QString, size);
    QFETCH(QString, rate);
    QFETCH(QLocale, locale);
    const QLocale previous;
    QLocale::setDefault(locale);

    QLabel* sizeLabel = widget<QLabel>("downloadSizeLabel");
    QLabel* speedLabel = widget<QLabel>("downloadSpeedLabel");
    Q_EMIT engine()->downloadProgress(1, 1, 1, true);
    Q_EMIT engine()->downloadProgress(done, total, speed, downloading);
    QCOMPARE(sizeLabel->isVisibleTo(window.get()), downloading);
    QCOMPARE(speedLabel->isVisibleTo(window.get()), downloading);
    if (downloading) {
        const QString span = QStringLiteral("<span style=\"font-size:small;\">%1</span>");
        QCOMPARE(sizeLabel->text(), span.arg(size));
        QCOMPARE(speedLabel->text(), span.arg(rate));
    }
    QLocale::setDefault(previous);
}

void TestMainWindow::progressTruncates()
{
    QProgressBar* progress = widget<QProgressBar>("totalProgressBar");
    const QList<QPair<qreal, int>> cases = { { 0.9999, 999 }, { 1.0, 1000 } };
    for (const auto& [fraction, value] : cases) {
        Q_EMIT engine()->updateProgress(fraction);
        QCOMPARE(progress->value(), value);
    }
}

void TestMainWindow::logShowsTextAsWritten()
{
    const QString line = QStringLiteral("Downloading files/<b>a&b</b>.dat");
    // Lines that arrive together enter the view together, in their order.
    Q_EMIT engine()->message(QStringLiteral("first"));
    Q_EMIT engine()->message(line);
    // The batch's timer is not waited for: an event loop here would also
    // deliver what earlier tests left queued for the application.
    QVERIFY(QMetaObject::invokeMethod(window.get(), "onFlushLog"));
    QCOMPARE(logLines().mid(logLines().size() - 2), QStringList({ QStringLiteral("first"), line }));
}

void TestMainWindow::logCollapsesRepeats_data()
{
    // The details are shown (or hidden) before the batch of this number.
    QTest::addColumn<int>("showBefore");
    QTest::addColumn<int>("hideBefore");
    QTest::newRow("shown") << 0 << 9;
    QTest::newRow("hidden until read") << 9 << 9;
    QTest::newRow("shown between the repeats") << 1 << 9;
    QTest::newRow("hidden again between the repeats") << 0 << 1;
}

void TestMainWindow::logCollapsesRepeats()
{
    QFETCH(int, showBefore);
    QFETCH(int, hideBefore);

    // Counted within one batch and on across batches.
    for (int batch = 0; batch < 2; ++batch) {
        if (batch == showBefore)
            widget<QPushButton>("detailsButton")->setChecked(true);
        if (batch == hideBefore)
            widget<QPushButton>("detailsButton")->setChecked(false);
        for (int i = 0; i < 501 - batch; ++i)
            Q_EMIT engine()->message(QStringLiteral("file a.dat timed out on mirror m1"));
        QVERIFY(QMetaObject::invokeMethod(window.get(), "onFlushLog"));
    }
    Q_EMIT engine()->message(QStringLiteral("next"));
    Q_EMIT engine()->message(QStringLiteral("next"));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "onFlushLog"));
    QCOMPARE(logLines(),
        (QStringList { QStringLiteral("file a.dat timed out on mirror m1"),
            QStringLiteral("... repeated 1000 times"), QStringLiteral("next"),
            QStringLiteral("... repeated 1 times") }));
}

void TestMainWindow::logKeepsLatestLines()
{
    // Beyond the limit the oldest lines go; a repeat still collapses.
    for (int i = 0; i < 10003; ++i)
        Q_EMIT engine()->message(QStringLiteral("add/replace f%1").arg(i));
    Q_EMIT engine()->message(QStringLiteral("add/replace f10002"));
    QVERIFY(QMetaObject::invokeMethod(window.get(), "onFlushLog"));
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 10000);
    QCOMPARE(lines.first(), QStringLiteral("add/replace f4"));
    QCOMPARE(lines.last(), QStringLiteral("... repeated 1 times"));
}

void TestMainWindow::otherInstance_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<bool>("minimised");
    QTest::addColumn<bool>("raised");
    QTest::newRow("activate") << "#" << false << true;
    QTest::newRow("restore from minimised") << "#" << true << true;
    QTest::newRow("anything else") << "#!" << false << false;
}

void TestMainWindow::otherInstance()
{
    QFETCH(QString, message);
    QFETCH(bool, minimised);
    QFETCH(bool, raised);

    if (minimised)
        window->showMinimized();
    else
        window->show();
    QWidget other;
    other.show();
    other.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &other);

    auto* checker = window->findChild<SingleInstanceChecker*>();
    QVERIFY(checker && checker->isListening());
    QSignalSpy received(checker, &SingleInstanceChecker::otherInstanceActivate);
    QVERIFY(SingleInstanceChecker::checkExistingInstance(message));
    QVERIFY(received.wait());
    if (raised) {
        QTRY_COMPARE(QApplication::activeWindow(), window.get());
        QVERIFY(!window->isMinimized());
    } else {
        QCoreApplication::processEvents();
        QCOMPARE(QApplication::activeWindow(), &other);
    }
}

void TestMainWindow::bannerImage_data()
{
    QTest::addColumn<bool>("image");
    QTest::addColumn<QString>("clickUrl");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("hand");

    QTest::newRow("web address") << true << "https://shop.example:8443/offer?id=1"
                                 << "Click to open \"https://shop.example\"" << true;
    QTest::newRow("not a web address") << true << "file:///etc/passwd" << QString() << false;
    QTest::newRow("not an image") << false << "https://shop.example/" << QString() << false;
}

void TestMainWindow::bannerImage()
{
    QFETCH(bool, image);
    QFETCH(QString, clickUrl);
    QFETCH(QString, toolTip);
    QFETCH(bool, hand);

    QByteArray bytes;
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::WriteOnly));
    if (image) {
        QImage picture(468, 60, QImage::Format_RGB32);
        picture.fill(Qt::darkGreen);
        QVERIFY(picture.save(&buffer, "PNG"));
    } else {
        buffer.write("GIF89a, but not really");
    }
    auto* banner = widget<UrlClickLabel>("banner");
    QCOMPARE(banner->cursor().shape(), Qt::ArrowCursor);
    if (image && !hand)
        QTest::ignoreMessage(
            QtWarningMsg, QRegularExpression(QStringLiteral("^Banner click address ignored")));
    Q_EMIT engine()->bannerFound(bytes, clickUrl);
    QCOMPARE(banner->pixmap().isNull(), !image);
    QCOMPARE(banner->toolTip(), toolTip);
    QCOMPARE(banner->getUrl(), hand ? clickUrl : QString());
    QCOMPARE(banner->cursor().shape(), hand ? Qt::PointingHandCursor : Qt::ArrowCursor);
}

void TestMainWindow::changelogHoldsLaunch_data()
{
    QTest::addColumn<bool>("changelogOpen");
    QTest::newRow("changelog open: wait for the user") << true;
    QTest::newRow("no changelog: launch by itself") << false;
}

void TestMainWindow::changelogHoldsLaunch()
{
    QFETCH(bool, changelogOpen);
    config->noUserMode = 1;
    window->setUIToConfigSpecs();
    QPushButton* start = widget<QPushButton>("startButton");
    if (changelogOpen) {
        widget<QPushButton>("changelogButton")->click();
        QVERIFY(ChangeLogViewer::instance());
    }
    Q_EMIT engine()->updateFinished();
    // Held, the button offers the launch at once; otherwise the launch
    // follows by itself and the button is left as it was.
    QCOMPARE(
        start->text(), changelogOpen ? QStringLiteral("Start Voxmeadow") : QStringLiteral("Start Update"));
    QCOMPARE(start->isEnabled(), changelogOpen);
    delete ChangeLogViewer::instance();
}

void TestMainWindow::germanTranslation()
{
    const QString directory
        = QFileInfo(QStringLiteral(UPDATE_EXECUTABLE)).absolutePath() + QStringLiteral("/translations");
    QTranslator own;
    QTranslator qt;
    QVERIFY(own.load(QStringLiteral("update_de"), directory));
    QVERIFY(qt.load(QStringLiteral("qt_de"), directory));
    QCoreApplication::installTranslator(&own);
    QCoreApplication::installTranslator(&qt);
    MainWindow german(*config, QStringLiteral("127.0.0.1"), bannerServer->port());
    german.setUIToConfigSpecs();
    QMessageBox question(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    QCoreApplication::removeTranslator(&qt);
    QCoreApplication::removeTranslator(&own);

    QCOMPARE(german.windowTitle(), QStringLiteral("Voxmeadow 3 Client-Update"));
    QCOMPARE(german.findChild<QPushButton*>(QStringLiteral("startButton"))->text(),
        QStringLiteral("Update starten"));
    QCOMPARE(german.findChild<QPushButton*>(QStringLiteral("changelogButton"))->text(),
        QStringLiteral("Änderungen anzeigen"));
    QVERIFY(
        german.findChild<QLabel*>(QStringLiteral("versionLabel"))->text().contains(QStringLiteral("Stabil")));
    QCOMPARE(question.button(QMessageBox::Yes)->text(), QStringLiteral("&Ja"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
