#include "app/configuration.h"
#include "app/consolefrontend.h"
#include "app/progressline.h"
#include "app/runtracker.h"
#include "app/startoptions.h"
#include "manifest/outsidetext.h"
#include "manifest/contenthasher.h"
#include "manifest/filestamp.h"
#include "update/digestcache.h"
#include "update/updateengine.h"
#include "consoleprocess.h"
#include "demosigner.h"
#include "filetree.h"
#include "installfixture.h"
#include "releasefixture.h"
#include "udptestpeer.h"

#include <QBuffer>
#include <QJsonArray>
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
    void outsideText_data();
    void outsideText();
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

void TestConsole::outsideText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("oneField");
    QTest::addColumn<QString>("shown");

    const QString plain = QStringLiteral("Voxmeadow 3.0 \u00e9\u00a0\u4e2d \u202f\u2065\u206a");
    QTest::newRow("printable text, next to the ranges") << plain << true << plain;
    QTest::newRow("CSI that clears the screen") << "\x1b[2J" << false << "\\x1b[2J";
    QTest::newRow("OSC that sets the title") << "\x1b]0;title\x07" << false << "\\x1b]0;title\\x07";
    QTest::newRow("CR that rewrites the line")
        << "3.0\rResult: up to date" << false << "3.0\\x0dResult: up to date";
    QTest::newRow("BEL, DEL, NUL") << QStringLiteral("\x07\x7f") + QChar(0) << false << "\\x07\\x7f\\x00";
    // What the update server's Latin-1 bytes 0x9b and 0x85 decode to.
    QTest::newRow("C1 CSI and NEL") << QString::fromLatin1("\x9bH\x85") << false << "\\x9bH\\x85";
    QTest::newRow("bidirectional override") << "abc\u202efdp.exe" << false << "abc\\u202efdp.exe";
    QTest::newRow("bidirectional isolates") << "\u2066x\u2069\u202a" << false << "\\u2066x\\u2069\\u202a";
    // Where the updater decodes bytes, it takes UTF-8 with replacements.
    QTest::newRow("invalid UTF-8") << QString::fromUtf8("\xff\xc3(\xed\xa0\x80") << false
                                   << "\ufffd\ufffd(\ufffd\ufffd\ufffd";
    QTest::newRow("a message keeps its lines and tabs") << "a\n\tb" << false << "a\n\tb";
    QTest::newRow("one field escapes them") << "a\n\tb" << true << "a\\x0a\\x09b";
}

void TestConsole::outsideText()
{
    QFETCH(QString, text);
    QFETCH(bool, oneField);
    QFETCH(QString, shown);
    QCOMPARE(
        OutsideText::escaped(text, oneField ? OutsideText::EscapeBreaks : OutsideText::KeepBreaks), shown);
    QCOMPARE(OutsideText::isPlain(text), OutsideText::escaped(text, OutsideText::EscapeBreaks) == text);
    // The JSON stream's strings, at any depth.
    const QJsonObject json { { "line", QJsonArray { QJsonObject { { "text", text } } } } };
    QCOMPARE(OutsideText::escaped(json)["line"][0]["text"].toString(), OutsideText::escaped(text));
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
    QTest::newRow("a file that came as a patch")
        << QStringList { start, download, "a.dat came as a patch: 10 bytes instead of 900" } << "download"
        << false << "iif";
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
    // Answered in time, the run goes on and ends on the offered version 0.
    QTest::newRow("answered on the last retry") << 2 << 2 << 3 << 2;
}

void TestConsole::versionQueryRetries()
{
    QFETCH(int, retries);
    QFETCH(int, silentQueries);

    UdpTestPeer peer;
    QVERIFY(peer.isListening());
    QList<UdpTestPeer::Reply> replies(silentQueries, std::nullopt);
    replies << QByteArray("0#zero,8,9") << QByteArray("news");
    peer.setReplies(replies);
    QVERIFY(fixture->writeMirrorsIni());
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
    // "no mirrors.ini": version 1 without it, "htp": version 1 with a mirror of scheme "htp",
    // "open log directory": version 1, and a log directory that everyone can write to.
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
    const QString missing = QStringLiteral("mirrors.ini: the file is missing");
    const QString htp = QStringLiteral("htp");
    const QString htpSaid
        = QStringLiteral("mirrors.ini: [a] url \"htp://127.0.0.1/a\" has the scheme \"htp\"");
    QTest::newRow("terminal") << console << true << true << one << none << none << 0 << true << installed;
    QTest::newRow("pipe") << console << false << true << one << none << none << 0 << true << installed;
    QTest::newRow("a log directory others can write to is not used")
        << console << false << true << "open log directory" << none << none << 0 << true
        << "update: no update.log for this run (others can write to ";
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
    QTest::newRow("--verify repairs a file damaged under its stamp")
        << QStringList { "--console", "--verify", UpdateType, "1" } << false << true
        << "damaged under its stamp" << none << none << 0 << false
        << "Files checked: 16, repaired: 2."; // the damaged file and the release marker
    QTest::newRow("no mirrors.ini") << console << false << true << noMirrors << none << none << 2 << false
                                    << missing;
    // Exit code 2, not the 3 of a silent update server: nothing was asked.
    QTest::newRow("a mistake in mirrors.ini comes before the version query")
        << QStringList { "--console" } << false << true << htp << "silent server" << none << 2 << false
        << htpSaid;
    QTest::newRow("window, --nouser, a mistake in mirrors.ini")
        << QStringList { "--nouser" } << false << true << htp << "silent server" << none << 2 << false
        << htpSaid;
    QTest::newRow("--check-config") << QStringList { "--check-config" } << false << false << one << none
                                    << none << 0 << false << "OK\n";
    QTest::newRow("--check-config, a mistake")
        << QStringList { "--check-config" } << false << false << htp << none << none << 2 << false << htpSaid;
    QTest::newRow("window, --nouser, no mirrors.ini")
        << noUser << false << true << noMirrors << none << none << 2 << false << missing;
    QTest::newRow("window, --nouser, a file on no mirror")
        << noUser << false << true << one << "withhold" << none << 2 << false << noMirror;
    QTest::newRow("control characters in the update server's answer")
        << QStringList { "--console" } << false << true << one << "hostile server" << none << 2 << false
        << "invalid version nr (\\x1b]0;title\\x07\\x0a\\x9bH)";
    QTest::newRow("window, SIGTERM while a file stalls") << noUser << false << true << one << "stall"
                                                         << "sigterm" << 1 << false << none;
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
        QVERIFY(fixture->writeMirrorsIni());
    const QString logDir = fixture->work.filePath(QStringLiteral("state/voxmeadow-update"));
    if (installation == QLatin1String("open log directory"))
        QVERIFY(QDir().mkpath(logDir) && QFile::setPermissions(logDir, QFileDevice::Permissions(0x7777)));
    if (installation == QLatin1String("htp"))
        QVERIFY(FileTree::write(fixture->install + QStringLiteral("/mirrors.ini"),
            mirrorsIni({ QStringLiteral("a") }, QStringLiteral("htp://127.0.0.1"))));
    if (installation == QLatin1String("fresh")) {
        for (const QString& name : oneSums.keys())
            QVERIFY(QFile::remove(fixture->install + QLatin1Char('/') + name));
    }
    if (installation == QLatin1String("damaged under its stamp")) {
        // As a failing disk damages: the digest cache holds the file's
        // present stamp with the release's digest.
        const QString victim = QStringLiteral("data/f0.dat");
        const QString path = fixture->install + QLatin1Char('/') + victim;
        QByteArray bad = versionOne().value(victim);
        bad[0] = char(~bad.at(0));
        QVERIFY(FileTree::write(path, bad));
        FileStamp stamp;
        QVERIFY(FileStamp::of(path, stamp));
        DigestCache cache(
            fixture->install + QLatin1Char('/') + DigestCache::fileName(), ContentSum::Algorithm::Sha256);
        cache.insert(victim, stamp,
            ContentSum::fromDigest(
                ContentHasher::hash(versionOne().value(victim), ContentSum::Algorithm::Sha256),
                ContentSum::Algorithm::Sha256),
            stamp.modifiedNs + qint64(60) * 1000 * 1000 * 1000);
        QVERIFY(cache.save());
    }
    if (!fault.isEmpty()) {
        stallOrWithhold = StalledFile;
        withhold = fault == QLatin1String("withhold");
    }
    // Five queries of five seconds each would end the run with 3.
    UdpTestPeer updateServer;
    QVERIFY(updateServer.isListening());
    if (fault == QLatin1String("hostile server"))
        updateServer.setReplies({ QByteArray("\x1b]0;title\x07\n\x9bH"), QByteArray("news") });
    if (fault.endsWith(QLatin1String("server")))
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
    // The log opens with the program and the offer, and ends with the outcome.
    const QByteArray log = FileTree::read(logDir + QStringLiteral("/update.log"));
    QCOMPARE(output.count("no update.log for this run"), qsizetype(installation == "open log directory"));
    if (installed && installation != QLatin1String("open log directory")) {
        QVERIFY2(log.left(log.indexOf('\n')).contains("Z Voxmeadow 3 update "), log);
        QVERIFY2(
            log.contains("; offered version: 2 on the Stable channel, decided by the command line\n"), log);
        QVERIFY2(log.contains("Outcome: installed version 2 (exit code 0)\n"), log);
        QVERIFY2(log.contains("Summary: files checked "), log);
    }
    if (process.exitCode() == 2 && !log.isEmpty())
        QVERIFY2(log.contains("Outcome: failed: "), log);
    if (!interrupt.isEmpty() && log.contains("Outcome: "))
        QVERIFY2(log.contains("Outcome: cancelled (exit code 1)\n"), log);
    QCOMPARE(clientFiles(), installed ? twoSums : oneSums);
    // On a terminal the progress line is redrawn in place; elsewhere no
    // control character gets into the output.
    static const QRegularExpression progressLine(QStringLiteral("\x1b\\[K[A-Za-z ]+  \\d+ %"));
    QCOMPARE(progressLine.match(QString::fromUtf8(output)).hasMatch(), terminal);
    if (!terminal)
        QVERIFY2(!output.contains('\x1b') && !process.out.contains('\r'), output);
    if (fault == QLatin1String("hostile server")) {
        const QByteArray log = FileTree::read(fixture->work.filePath("state/voxmeadow-update/update.log"));
        QVERIFY2(log.contains(said.toUtf8()) && !log.contains('\x1b'), log);
    }
}

void TestConsole::jsonStream_data()
{
    QTest::addColumn<QStringList>("args");
    // The file the mirror lacks, or none.
    QTest::addColumn<QString>("withheld");
    QTest::addColumn<int>("exitCode");
    // The error event's cause; empty: there must be none.
    QTest::addColumn<QString>("cause");
    // Another updater is at work in the installation meanwhile.
    QTest::addColumn<bool>("another");

    const QString none;
    QTest::newRow("console") << QStringList { "--console", "--progress=json", UpdateType, "2" } << none << 0
                             << none << false;
    QTest::newRow("window") << QStringList { "--progress=json", "--nouser", UpdateType, "2" } << none << 0
                            << none << false;
    QTest::newRow("console, a file on no mirror") << QStringList { "--console", "--progress=json", UpdateType,
        "2" } << StalledFile << 2 << "noMirror" << false;
    QTest::newRow("window, a file on no mirror") << QStringList { "--progress=json", "--nouser", UpdateType,
        "2" } << StalledFile << 2 << "noMirror" << false;
    QTest::newRow("a refused option")
        << QStringList { "--progress=json", "--consle" } << none << 2 << "error" << false;
    QTest::newRow("--check") << QStringList { "--check", "--progress=json", UpdateType, "2" } << none << 3
                             << none << false;
    QTest::newRow("another updater at work")
        << QStringList { "--console", "--progress=json", UpdateType, "2" } << none << 0 << none << true;
}

void TestConsole::jsonStream()
{
    QFETCH(QStringList, args);
    QFETCH(QString, withheld);
    QFETCH(QString, cause);
    QFETCH(bool, another);
    QVERIFY(fixture->writeMirrorsIni());
    stallOrWithhold = withheld;
    withhold = true;
    ConsoleProcess first;
    if (another) {
        // It waits on a file the mirror holds back.
        stallOrWithhold = StalledFile;
        withhold = false;
        bool asked = false;
        connect(&fixture->server, &HttpTestServer::requestReceived, this,
            [&asked](const QByteArray& path) { asked = asked || path.endsWith(StalledFile.toLatin1()); });
        QVERIFY(first.start(fixture->install + QStringLiteral("/update"), { "--console", UpdateType, "2" },
            environment(true), false));
        QVERIFY(QTest::qWaitFor([&] { return first.poll() || asked; }, RunTimeoutMs));
        QVERIFY2(asked, first.out + first.err);
    }
    ConsoleProcess process;
    QVERIFY(process.start(fixture->install + QStringLiteral("/update"), args, environment(true), false));
    QVERIFY2(process.waitForExit(RunTimeoutMs), process.out + process.err);
    QTEST(process.exitCode(), "exitCode");
    if (another) {
        first.signal(SIGTERM);
        QVERIFY(first.waitForExit(RunTimeoutMs));
    }

    const QSet<QString> progressFields { "schema", "event", "phase", "fraction", "filesDone", "filesTotal",
        "downloading", "bytesDone", "bytesTotal", "rate", "secondsLeft", "paused" };
    QStringList phases;
    QStringList logLines;
    QStringList errorLines;
    QStringList events;
    QJsonObject last;
    QJsonObject lastProgress;
    QJsonObject error;
    int progressEvents = 0;
    for (const QByteArray& line : process.out.split('\n')) {
        if (line.isEmpty())
            continue;
        QVERIFY2(last.value("event") != "result", "a line after the result: " + line);
        QJsonParseError parseError;
        last = QJsonDocument::fromJson(line, &parseError).object();
        QVERIFY2(parseError.error == QJsonParseError::NoError && last.value("schema") == 1, line);
        const QString event = last.value("event").toString();
        events << event;
        if (event == QLatin1String("phase"))
            phases << last.value("phase").toString();
        if (event == QLatin1String("progress")) {
            ++progressEvents;
            lastProgress = last;
            QVERIFY2(!phases.isEmpty() && last.value("phase") == phases.last(), line);
            const QStringList keys = last.keys();
            QCOMPARE(QSet<QString>(keys.cbegin(), keys.cend()), progressFields);
        }
        if (event == QLatin1String("log")) {
            QVERIFY2(last.value("line").isString() && !last.value("level").toString().isEmpty(), line);
            logLines << last.value("line").toString();
            if (last.value("level") == "error")
                errorLines << last.value("line").toString();
        }
        if (event == QLatin1String("error"))
            error = last;
    }
    QCOMPARE(last.value("event"), "result");
    QTEST(last.value("exitCode").toInt(), "exitCode");
    QCOMPARE(error.value("cause").toString(), cause);
    if (another) {
        QVERIFY2(!logLines.filter("Another updater is at work").isEmpty(), process.out);
        return;
    }
    if (args.contains("--check")) {
        QCOMPARE(events.filter("check").size(), 1);
        return;
    }
    // Every failure in the console is also an error line; the window says
    // it in a box or on standard error.
    if (!cause.isEmpty() && args.contains("--console"))
        QVERIFY2(!errorLines.isEmpty(), process.out);
    if (!cause.isEmpty())
        return;
    QCOMPARE(phases, QStringList({ "prepare", "check", "download", "install", "remove", "cleanup" }));
    QVERIFY(progressEvents >= phases.size());
    const QJsonObject summary = last.value("summary").toObject();
    QCOMPARE(summary.value("version"), 2);
    // The release marker too.
    QCOMPARE(summary.value("filesFetched"), versionTwo().size() + 1);
    QCOMPARE(summary.value("filesRemoved"), 1);
    // The last figures are the summary's, however fast the run was.
    const qint64 fetched
        = summary.value("bytesFetched").toInteger() + summary.value("patchBytes").toInteger();
    QVERIFY(fetched > 0);
    QCOMPARE(lastProgress.value("bytesDone").toInteger(), fetched);
    QCOMPARE(lastProgress.value("bytesTotal").toInteger(), fetched);
}

QTEST_GUILESS_MAIN(TestConsole)
#include "tst_console.moc"
