#include "app/configuration.h"
#include "app/consolefrontend.h"
#include "app/progressline.h"
#include "app/runtracker.h"
#include "app/startoptions.h"
#include "update/updateengine.h"
#include "consoleprocess.h"
#include "demosigner.h"
#include "filetree.h"
#include "installfixture.h"
#include "releasefixture.h"
#include "udptestpeer.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSignalSpy>
#include "verify/releasetrust.h"

#include <QtTest>

#include <csignal>

namespace {

const QString UpdateType = QStringLiteral("client_linux_amd64");
const int RunTimeoutMs = 60000;
// The file whose download the mirror holds back when a row stalls it.
const QString StalledFile = QStringLiteral("big.dat");

ReleaseFixture::Tree versionOne()
{
    ReleaseFixture::Tree tree;
    for (int i = 0; i < 12; ++i)
        tree[QStringLiteral("data/f%1.dat").arg(i)] = ReleaseFixture::bytes(3000 + i, quint32(i));
    tree[StalledFile] = ReleaseFixture::bytes(200000, 100);
    tree[QStringLiteral("dropped.txt")] = "gone in version 2";
    tree[QStringLiteral("vx3client_runscript.sh")] = "#!/bin/sh\nexit 0\n";
    return tree;
}

ReleaseFixture::Tree versionTwo()
{
    ReleaseFixture::Tree tree = versionOne();
    for (auto it = tree.begin(); it != tree.end(); ++it)
        it.value().append("v2");
    tree.remove(QStringLiteral("dropped.txt"));
    tree[QStringLiteral("data/new.dat")] = ReleaseFixture::bytes(5000, 200);
    return tree;
}

} // namespace

class TestConsole : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void startOptions_data();
    void startOptions();
    void progressLine_data();
    void progressLine();
    void runTracker_data();
    void runTracker();
    void versionQueryRetries_data();
    void versionQueryRetries();
    void run_data();
    void run();
    void jsonStream_data();
    void jsonStream();

private:
    QProcessEnvironment environment(bool display) const;
    QMap<QString, QString> clientFiles() const;

    QString sources;
    QMap<QString, QString> oneSums;
    QMap<QString, QString> twoSums;
    std::unique_ptr<InstallFixture> fixture;
    QString stallOrWithhold;
    bool withhold = false;
};

void TestConsole::initTestCase()
{
    SKIP_UNLESS_DEMO_KEY();
}

void TestConsole::init()
{
    fixture = std::make_unique<InstallFixture>(QStringList { QStringLiteral("m1") });
    QVERIFY(fixture->isValid());
    const QString one = fixture->work.filePath(QStringLiteral("source-1"));
    const QString two = fixture->work.filePath(QStringLiteral("source-2"));
    QVERIFY(ReleaseFixture::writeTree(one, versionOne()) && ReleaseFixture::writeTree(two, versionTwo()));
    QVERIFY(ReleaseFixture::publish(one, fixture->mirrorRoot, 1));
    QVERIFY(ReleaseFixture::publish(
        two, fixture->mirrorRoot, 2, {}, ReleaseFixture::productIniPath(fixture->mirrorRoot, 1)));
    oneSums = ReleaseFixture::contents(one);
    twoSums = ReleaseFixture::contents(two);
    QVERIFY(ReleaseFixture::writeTree(fixture->install, versionOne()));
    QVERIFY(QFile::copy(QStringLiteral(UPDATE_EXECUTABLE), fixture->install + QStringLiteral("/update")));
    QVERIFY(QDir().mkpath(fixture->work.filePath(QStringLiteral("runtime"))));
    QVERIFY(QFile::setPermissions(fixture->work.filePath(QStringLiteral("runtime")),
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    stallOrWithhold.clear();
    fixture->intercept = [this](const QString& path, HttpTestServer::Response response) {
        if (stallOrWithhold.isEmpty() || !path.endsWith(stallOrWithhold))
            return response;
        if (withhold)
            return HttpTestServer::Response::withStatus(404);
        response.stallAfter = 1000;
        return response;
    };
}

void TestConsole::cleanup()
{
    fixture.reset();
}

QProcessEnvironment TestConsole::environment(bool display) const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : { "DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM" })
        environment.remove(QLatin1String(name));
    if (display)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), fixture->work.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("TMPDIR"), fixture->tmp);
    environment.insert(QStringLiteral("XDG_STATE_HOME"), fixture->work.filePath(QStringLiteral("state")));
    return environment;
}

QMap<QString, QString> TestConsole::clientFiles() const
{
    return ReleaseFixture::contents(fixture->install,
        { QStringLiteral("update"), QStringLiteral("update.ini"), QStringLiteral("mirrors.ini"),
            QStringLiteral("update.digests") });
}

void TestConsole::startOptions_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("display");
    // What the configuration is handed, or "error: ..." when the options are refused.
    QTest::addColumn<QStringList>("passedOn");
    QTest::addColumn<bool>("console");
    QTest::addColumn<int>("retries");

    const QStringList none;
    QTest::newRow("the original grammar") << QStringList { "--nouser", "t", "5", "#", "news" } << true
                                          << QStringList { "--nouser", "t", "5", "#", "news" } << false << 2;
    QTest::newRow("options before --nouser")
        << QStringList { "--console", "--retries", "4", "--nouser", "t", "5" } << true
        << QStringList { "--nouser", "t", "5" } << true << 4;
    QTest::newRow("an option after the type is the update's")
        << QStringList { "t", "5", "--console" } << true << QStringList { "t", "5", "--console" } << false
        << 2;
    QTest::newRow("--verify and --check go on to the configuration")
        << QStringList { "--verify", "--progress=json", "t", "5" } << true
        << QStringList { "t", "5", "--verify" } << false << 2;
    QTest::newRow("no display") << none << false << none << true << 2;
    QTest::newRow("--retries=0") << QStringList { "--retries=0" } << true << none << false << 0;
    QTest::newRow("negative retries") << QStringList { "--retries", "-1" } << true
                                      << QStringList { "error: --retries needs" } << false << 0;
    QTest::newRow("retries without a number")
        << QStringList { "--retries" } << true << QStringList { "error: --retries needs" } << false << 0;
    QTest::newRow("another progress format")
        << QStringList { "--progress=xml" } << true << QStringList { "error: Unknown option --progress=xml" }
        << false << 0;
}

void TestConsole::startOptions()
{
    QFETCH(QStringList, args);
    QFETCH(bool, display);
    QFETCH(QStringList, passedOn);

    QProcessEnvironment environment;
    // Empty names no display.
    environment.insert(QStringLiteral("DISPLAY"), QString());
    if (display)
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("wayland-0"));
    const StartOptions options = StartOptions::parse(QStringList { "update" } + args, environment);
    if (!options.error().isEmpty()) {
        QVERIFY2(passedOn.size() == 1 && options.error().startsWith(passedOn.first().mid(7)),
            qPrintable(options.error()));
        return;
    }
    QCOMPARE(options.arguments, QStringList { "update" } + passedOn);
    QTEST(options.console, "console");
    QTEST(options.retries, "retries");
}

void TestConsole::progressLine_data()
{
    QTest::addColumn<int>("phase");
    QTest::addColumn<bool>("downloading");
    QTest::addColumn<bool>("paused");
    QTest::addColumn<qint64>("secondsLeft");
    QTest::addColumn<QString>("line");

    QTest::newRow("downloading")
        << int(RunTracker::Phase::Download) << true << false << qint64(3725)
        << "Downloading  42 %  3/12 files  1.5 MB of 12.0 MB  250.0 kB/s  1:02:05 left";
    QTest::newRow("rate still unknown") << int(RunTracker::Phase::Download) << true << false << qint64(-1)
                                        << "Downloading  42 %  3/12 files  1.5 MB of 12.0 MB  250.0 kB/s";
    QTest::newRow("held") << int(RunTracker::Phase::Download) << false << true << qint64(-1)
                          << "Downloading  42 %  3/12 files  paused";
    QTest::newRow("installing") << int(RunTracker::Phase::Install) << false << false << qint64(9)
                                << "Installing  42 %  3/12 files";
}

void TestConsole::progressLine()
{
    QFETCH(int, phase);
    RunTracker::Figures figures;
    figures.phase = RunTracker::Phase(phase);
    figures.fraction = 0.429;
    figures.filesDone = 3;
    figures.filesTotal = 12;
    figures.bytesDone = 1500000;
    figures.bytesTotal = 12000000;
    figures.rate = 250000;
    QFETCH(bool, downloading);
    QFETCH(bool, paused);
    QFETCH(qint64, secondsLeft);
    figures.downloading = downloading;
    figures.paused = paused;
    figures.secondsLeft = secondsLeft;
    QTEST(ProgressLine::format(figures), "line");
}

void TestConsole::runTracker_data()
{
    // Engine lines in order; "tick" is a second's transfer figures.
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("phase");
    QTest::addColumn<bool>("downloading");
    // How each line is passed on: "i" a line of its own, "f" one of a file.
    QTest::addColumn<QString>("kinds");

    const QString start = QStringLiteral("Starting update process");
    const QString download = QStringLiteral("Downloading files");
    QTest::newRow("files downloading")
        << QStringList { start, download, "Downloading files/a.dat", "tick" } << "download" << true << "iif";
    const QStringList downloaded { start, download, "tick", "Downloading files/a.dat finished" };
    QTest::newRow("the next step drops the transfer figures")
        << downloaded + QStringList { "Starting file updates", "add/replace a.dat" } << "install" << false
        << "iifif";
    QTest::newRow("an undone installation")
        << QStringList { start, "Starting file updates", "rolling back file updates" } << "rollback" << false
        << "iii";
    QTest::newRow("the ini's download is not a step")
        << QStringList { start, "Downloading client_linux_amd64.ini", "tick" } << "check" << true << "if";
}

void TestConsole::runTracker()
{
    QFETCH(QStringList, lines);
    UpdateEngine engine(fixture->layout(), UpdateSettings(), nullptr);
    RunTracker tracker;
    tracker.follow(&engine);
    QString kinds;
    connect(&tracker, &RunTracker::logged, this, [&kinds](const QString&, RunTracker::LineKind kind) {
        kinds += kind == RunTracker::LineKind::PerFile ? 'f' : 'i';
    });
    for (const QString& line : lines) {
        if (line == QLatin1String("tick"))
            Q_EMIT engine.downloadProgress(1000, 4000, 500, true);
        else
            Q_EMIT engine.message(line);
    }
    QTEST(RunTracker::phaseId(tracker.figures().phase), "phase");
    QTEST(tracker.figures().downloading, "downloading");
    QTEST(kinds, "kinds");
}

void TestConsole::versionQueryRetries_data()
{
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("silentQueries");
    QTest::addColumn<int>("queries");
    QTest::addColumn<int>("exitCode");

    QTest::newRow("no retry") << 0 << 5 << 1 << 3;
    QTest::newRow("two retries, then given up") << 2 << 5 << 3 << 3;
    // Answered in time, the run goes on and ends on the missing mirrors.ini.
    QTest::newRow("answered on the last retry") << 2 << 2 << 3 << 2;
}

void TestConsole::versionQueryRetries()
{
    QFETCH(int, retries);
    QFETCH(int, silentQueries);

    UdpTestPeer peer;
    QVERIFY(peer.isListening());
    QList<UdpTestPeer::Reply> replies(silentQueries, std::nullopt);
    replies << QByteArray("7#seven,8,9") << QByteArray("news");
    peer.setReplies(replies);
    Configuration config(fixture->layout());
    config.setVersionQueryServer(QStringLiteral("127.0.0.1"), peer.port(), 100);
    RunTracker tracker;
    QBuffer out;
    QBuffer err;
    QVERIFY(out.open(QIODevice::WriteOnly) && err.open(QIODevice::WriteOnly));
    ConsoleFrontEnd frontEnd(config, &tracker, &out, &err, -1);
    QSignalSpy finished(&frontEnd, &ConsoleFrontEnd::finished);

    frontEnd.start({ QStringLiteral("update"), QStringLiteral("--nouser") }, retries);
    QCOMPARE(finished.count(), 1);
    QTEST(finished.first().first().toInt(), "exitCode");
    QTEST(int(peer.received().count(QByteArray("3\0", 2))), "queries");
}

void TestConsole::run_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("terminal");
    QTest::addColumn<bool>("display");
    // "version 1" installed, "fresh": nothing but the updater and mirrors.ini,
    // "no mirrors.ini": version 1 without it.
    QTest::addColumn<QString>("installation");
    // "stall": the mirror holds the file back, and "ctrl-c", "sigint" or "sigterm" follows its
    // request; "withhold": the file is on no mirror; "silent server": the update server never
    // answers, and the interrupt follows its first query.
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("interrupt");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("said");

    const QStringList console { "--console", UpdateType, "2" };
    const QStringList noUser { "--nouser", UpdateType, "2" };
    const QStringList version { UpdateType, "2" };
    const QString one = QStringLiteral("version 1");
    const QString noMirrors = QStringLiteral("no mirrors.ini");
    const QString none;
    const QString installed = QStringLiteral("Voxmeadow 3 version 2 is installed.");
    const QString asItWas = QStringLiteral("the installation is as it was");
    const QString noMirror = QStringLiteral("No mirror could deliver");
    const QString missing = QStringLiteral("mirrors.ini is missing");
    QTest::newRow("terminal") << console << true << true << one << none << none << 0 << true << installed;
    QTest::newRow("pipe") << console << false << true << one << none << none << 0 << true << installed;
    QTest::newRow("fresh installation")
        << console << false << true << "fresh" << none << none << 0 << true << installed;
    QTest::newRow("no display picks the console")
        << version << false << false << one << none << none << 0 << true << installed;
    QTest::newRow("Ctrl-C while a file stalls") << console << true << true << one << "stall"
                                                << "ctrl-c" << 1 << false << asItWas;
    QTest::newRow("SIGTERM while a file stalls") << console << false << true << one << "stall"
                                                 << "sigterm" << 1 << false << asItWas;
    QTest::newRow("SIGINT before the run ends the program at once")
        << QStringList { "--console", "--retries", "5" } << false << true << one << "silent server"
        << "sigint" << 1 << false << none;
    QTest::newRow("a file on no mirror")
        << console << false << true << one << "withhold" << none << 2 << false << noMirror;
    QTest::newRow("no mirrors.ini") << console << false << true << noMirrors << none << none << 2 << false
                                    << missing;
    QTest::newRow("window, --nouser, no mirrors.ini")
        << noUser << false << true << noMirrors << none << none << 2 << false << missing;
    QTest::newRow("window, --nouser, a file on no mirror")
        << noUser << false << true << one << "withhold" << none << 2 << false << noMirror;
    QTest::newRow("window, --nouser, the update server silent")
        << QStringList { "--nouser", "--retries", "0" } << false << true << one << "silent server" << none
        << 1 << false << "did not answer";
    QTest::newRow("--help without a display")
        << QStringList { "--help" } << false << false << one << none << none << 0 << false << "Exit codes:";
    QTest::newRow("--version without a display")
        << QStringList { "--version" } << false << false << one << none << none << 0 << false
        << QStringLiteral("Release keys: %1 built in").arg(ReleaseTrust::builtIn().keys.size());
    QTest::newRow("unknown option") << QStringList { "--consle" } << false << false << one << none << none
                                    << 2 << false << "Unknown option --consle";
}

void TestConsole::run()
{
    QFETCH(QStringList, args);
    QFETCH(bool, terminal);
    QFETCH(bool, display);
    QFETCH(QString, installation);
    QFETCH(QString, fault);
    QFETCH(QString, interrupt);
    QFETCH(bool, installed);
    QFETCH(QString, said);

    if (installation != QLatin1String("no mirrors.ini"))
        QVERIFY(fixture->writeMirrorsIni(0));
    if (installation == QLatin1String("fresh")) {
        for (const QString& name : oneSums.keys())
            QVERIFY(QFile::remove(fixture->install + QLatin1Char('/') + name));
    }
    if (!fault.isEmpty()) {
        stallOrWithhold = StalledFile;
        withhold = fault == QLatin1String("withhold");
    }
    // Five queries of five seconds each would end the run with 3.
    UdpTestPeer updateServer;
    QVERIFY(updateServer.isListening());
    if (fault == QLatin1String("silent server"))
        QVERIFY(FileTree::write(fixture->install + QStringLiteral("/update.ini"),
            "[update]\nupdateServer=127.0.0.1:" + QByteArray::number(updateServer.port()) + "\n"));
    bool asked = false;
    connect(&fixture->server, &HttpTestServer::requestReceived, this,
        [&asked](const QByteArray& path) { asked = asked || path.endsWith(StalledFile.toLatin1()); });

    ConsoleProcess process;
    QVERIFY(
        process.start(fixture->install + QStringLiteral("/update"), args, environment(display), terminal));
    if (!interrupt.isEmpty()) {
        const auto reached = [&] { return asked || !updateServer.received().isEmpty(); };
        QVERIFY(QTest::qWaitFor([&] { return process.poll() || reached(); }, RunTimeoutMs));
        QVERIFY2(reached(), process.out + process.err);
        if (interrupt == QLatin1String("ctrl-c"))
            process.type("\x03");
        else
            process.signal(interrupt == QLatin1String("sigint") ? SIGINT : SIGTERM);
    }
    QVERIFY2(process.waitForExit(RunTimeoutMs), process.out + process.err);
    const QByteArray output = process.out + process.err;
    QTEST(process.exitCode(), "exitCode");
    QVERIFY2(output.contains(said.toUtf8()), output);
    QCOMPARE(clientFiles(), installed ? twoSums : oneSums);
    // On a terminal the progress line is redrawn in place; elsewhere no
    // control character gets into the output.
    static const QRegularExpression progressLine(QStringLiteral("\x1b\\[K[A-Za-z ]+  \\d+ %"));
    QCOMPARE(progressLine.match(QString::fromUtf8(output)).hasMatch(), terminal);
    if (!terminal)
        QVERIFY2(!output.contains('\x1b') && !process.out.contains('\r'), output);
}

void TestConsole::jsonStream_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("console") << QStringList { "--console", "--progress=json", UpdateType, "2" };
    QTest::newRow("window") << QStringList { "--progress=json", "--nouser", UpdateType, "2" };
}

void TestConsole::jsonStream()
{
    QFETCH(QStringList, args);
    QVERIFY(fixture->writeMirrorsIni(0));
    ConsoleProcess process;
    QVERIFY(process.start(fixture->install + QStringLiteral("/update"), args, environment(true), false));
    QVERIFY2(process.waitForExit(RunTimeoutMs), process.out + process.err);
    QCOMPARE(process.exitCode(), 0);

    const QSet<QString> progressFields { "schema", "event", "phase", "fraction", "filesDone", "filesTotal",
        "downloading", "bytesDone", "bytesTotal", "rate", "secondsLeft", "paused" };
    QStringList phases;
    QJsonObject last;
    int progressEvents = 0;
    for (const QByteArray& line : process.out.split('\n')) {
        if (line.isEmpty())
            continue;
        QVERIFY2(last.value("event") != "result", "a line after the result: " + line);
        QJsonParseError error;
        last = QJsonDocument::fromJson(line, &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError && last.value("schema") == 1, line);
        const QString event = last.value("event").toString();
        if (event == QLatin1String("phase"))
            phases << last.value("phase").toString();
        if (event == QLatin1String("progress")) {
            ++progressEvents;
            QVERIFY2(!phases.isEmpty() && last.value("phase") == phases.last(), line);
            const QStringList keys = last.keys();
            QCOMPARE(QSet<QString>(keys.cbegin(), keys.cend()), progressFields);
        }
        if (event == QLatin1String("log"))
            QVERIFY2(last.value("line").isString() && !last.value("level").toString().isEmpty(), line);
    }
    QCOMPARE(phases, QStringList({ "prepare", "check", "download", "install", "remove", "cleanup" }));
    QVERIFY(progressEvents >= phases.size());
    QCOMPARE(last.value("event"), "result");
    QCOMPARE(last.value("exitCode"), 0);
    const QJsonObject summary = last.value("summary").toObject();
    QCOMPARE(summary.value("version"), 2);
    // The release marker too.
    QCOMPARE(summary.value("filesFetched"), versionTwo().size() + 1);
    QCOMPARE(summary.value("filesRemoved"), 1);
}

QTEST_GUILESS_MAIN(TestConsole)
#include "tst_console.moc"
