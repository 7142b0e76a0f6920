#include "channelrecordmaker.h"
#include "demosigner.h"
#include "filetree.h"
#include "installfixture.h"
#include "manifest/releasemanifest.h"
#include "mirrorcheck.h"
#include "mirrorprobe.h"
#include "releasepublisher.h"
#include "releasecommandline.h"
#include "releasefixture.h"
#include "releasekey.h"
#include "transfer/ftpsiteaccessdata.h"
#include "transfer/transferengine.h"
#include "verify/releasetrust.h"

#include <QDir>
#include <QtTest>

#include <memory>

namespace {

const QString Type = QStringLiteral("client_linux_amd64");

// A text of numbered lines, with line `changed` edited when it is positive.
QByteArray mapText(int changed)
{
    QByteArray text;
    for (int line = 1; line <= 2000; ++line)
        text += "tile " + QByteArray::number(line) + (line == changed ? " river\n" : " grass\n");
    return text;
}

// Writes the mirror root's channel record, stable at version 2, signed by
// demo key `key` and made at `now` (-1: the clock's), valid for a week.
bool writeChannelRecord(const QString& root, int key, qint64 now = -1)
{
    QString error;
    std::vector<Ed25519Key> keys;
    keys.push_back(Ed25519Key::readPrivatePem(DemoSigner::ed25519KeyPem(key), &error));
    ChannelRecordMaker::Options channels;
    channels.outputDir = root;
    channels.updateType = Type;
    channels.channels = { { "stable", 2, "Two" } };
    channels.now = now;
    ChannelRecordMaker maker(channels, std::move(keys));
    const bool made = maker.make();
    if (!made)
        qWarning().noquote() << maker.errorString();
    return made;
}

} // namespace

class TestMirrorCheck : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void checksWhatTheMirrorServes_data();
    void checksWhatTheMirrorServes();
    void checksChunks_data();
    void checksChunks();
    void givesUpAStalledRequest();
    void judgesASlowRequest_data();
    void judgesASlowRequest();

private:
    int check(const QStringList& args, QString* out);

    std::unique_ptr<InstallFixture> fixture;
    QString mirrorUrl;
};

void TestMirrorCheck::init()
{
    fixture = std::make_unique<InstallFixture>(QStringList { "m" });
    QVERIFY(fixture->isValid());
    mirrorUrl = fixture->server.baseUrl() + "/m";
    // Version 2 keeps a.dat, changes one line of the map (a patch from
    // version 1), adds b.dat and packs the library.
    const QString one = fixture->work.filePath("one");
    const QString two = fixture->work.filePath("two");
    const ReleaseFixture::Tree first { { "bin/app", "#!/bin/sh\n" },
        { "data/a.dat", ReleaseFixture::bytes(3000, 1) }, { "data/map.txt", mapText(0) },
        { "lib/libx.so", ReleaseFixture::bytes(20000, 2) } };
    ReleaseFixture::Tree second = first;
    second["data/map.txt"] = mapText(700);
    second["data/b.dat"] = ReleaseFixture::bytes(10, 3);
    QString error;
    QVERIFY(ReleaseFixture::writeTree(one, first) && ReleaseFixture::writeTree(two, second));
    QVERIFY2(ReleaseFixture::publish(one, fixture->mirrorRoot, 1, { "*.so" }, QString(), &error),
        qPrintable(error));
    QVERIFY2(ReleaseFixture::publish(
                 two, fixture->mirrorRoot, 2, { "*.so" }, QString(), &error, { fixture->mirrorRoot + "/1" }),
        qPrintable(error));
    QVERIFY(QFileInfo::exists(fixture->mirrorRoot + "/2/" + Type + ".patches"));

    QVERIFY(writeChannelRecord(fixture->mirrorRoot, 1));

    // What the manifest rows expect holds for a build with the demo release keys.
    ReleaseManifest::Reader manifest(fixture->mirrorRoot + "/2/" + Type + ".manifest");
    QVERIFY(manifest.open() && manifest.readToEnd());
    const ReleaseTrust& trust = ReleaseTrust::builtIn();
    if (!trust.requiresManifest(2) || !trust.reachesThreshold(manifest.bodySha256(), manifest.signatures()))
        QSKIP("this build's release keys are not the demo keys");
}

void TestMirrorCheck::cleanup()
{
    // Before the next fixture: each restores the TMPDIR it found.
    fixture.reset();
}

int TestMirrorCheck::check(const QStringList& args, QString* out)
{
    QString err;
    QTextStream outStream(out);
    QTextStream errStream(&err);
    ReleaseCommandLine commandLine(outStream, errStream);
    const int code = commandLine.run(QStringList { "voxmeadow-release", "check-mirror", "--public-key",
                                         DemoSigner::publicKeyDer(), mirrorUrl, "2" }
        + args);
    *out += err;
    return code;
}

void TestMirrorCheck::checksWhatTheMirrorServes_data()
{
    // What is done to the file at `path` below the mirror root: "delete"
    // it, "shorten" or "lengthen" it by a byte, "alter" its last byte, or
    // answer it with "redirect"; "ignore ranges" answers every request with
    // the whole file; the channel record is made anew to "sign with key 2"
    // or to "expire" a day ago.
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("deep");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");

    const QString a = "2/files/data/a.dat";
    const QString complete = "checked 6 files and 1 patches: 0 problems";
    QTest::newRow("complete") << QString() << QString() << false << 0 << complete;
    QTest::newRow("complete, deep") << QString() << QString() << true << 0 << complete;
    QTest::newRow("complete, ranges ignored") << QString() << "ignore ranges" << false << 0 << complete;
    QTest::newRow("missing file") << a << "delete" << false << 1 << "missing: 2/files/data/a.dat (404)";
    QTest::newRow("a byte short") << a << "shorten" << false << 1
                                  << "wrong size: 2/files/data/a.dat: 2999 bytes, listed 3000";
    QTest::newRow("a byte long") << a << "lengthen" << false << 1
                                 << "wrong size: 2/files/data/a.dat: 3001 bytes, listed 3000";
    QTest::newRow("a byte long, ranges ignored") << a << "lengthen, ignore ranges" << false << 1
                                                 << "wrong size: 2/files/data/a.dat: 3001 bytes, listed 3000";
    QTest::newRow("a byte long, deep")
        << a << "lengthen" << true << 1 << "wrong size: 2/files/data/a.dat: 3001 bytes, listed 3000";
    QTest::newRow("same size, other content") << a << "alter" << false << 0 << complete;
    QTest::newRow("same size, other content, deep")
        << a << "alter" << true << 1
        << "wrong content: 2/files/data/a.dat: its SHA-256 is not the manifest's";
    QTest::newRow("same size, other content of a packed file, deep")
        << "2/libs/lib/libx.so.gz"
        << "alter" << true << 1 << "wrong content: 2/libs/lib/libx.so.gz: its SHA-256 is not the manifest's";
    QTest::newRow("redirect") << a << "redirect" << false << 1
                              << "redirected: 2/files/data/a.dat (302), not followed";
    QTest::newRow("missing patches") << "2/patches"
                                     << "delete" << false << 1 << "missing: 2/patches/";
    QTest::newRow("altered patch, deep") << "2/patches"
                                         << "alter" << true << 1 << "its SHA-256 is not the patch index's";
    QTest::newRow("missing patch index") << "2/" + Type + ".patches"
                                         << "delete" << false << 1 << "missing: 2/" + Type + ".patches (404)";
    QTest::newRow("altered patch index")
        << "2/" + Type + ".patches"
        << "alter" << false << 1 << "is not the one the release manifest names";
    QTest::newRow("missing manifest") << "2/" + Type + ".manifest"
                                      << "delete" << false << 1 << "missing: 2/" + Type + ".manifest (404)";
    QTest::newRow("missing manifest, deep")
        << "2/" + Type + ".manifest"
        << "delete" << true << 1
        << "missing: 2/" + Type + ".manifest (404)\nchecked 6 files and 1 patches: 1 problem\n";
    QTest::newRow("tampered ini signature")
        << "2/" + Type + ".ini.sig"
        << "alter" << false << 1 << "bad signature: 2/" + Type + ".ini.sig does not verify";
    QTest::newRow("missing channel record")
        << Type + ".channels"
        << "delete" << false << 1 << "missing: " + Type + ".channels (404): updaters cannot confirm";
    QTest::newRow("altered channel record")
        << Type + ".channels"
        << "alter" << false << 1 << "bad channel record: " + Type + ".channels: line";
    QTest::newRow("channel record of a key not built in") << Type + ".channels"
                                                          << "sign with key 2" << false << 1
                                                          << "bad channel record: " + Type
            + ".channels has 0 valid signatures of release keys where 1 are needed";
    QTest::newRow("expired channel record")
        << Type + ".channels"
        << "expire" << false << 1 << "expired: " + Type + ".channels: serial 2 expired";
    // Updaters that know rollouts would take the older second format.
    QTest::newRow("second format left behind")
        << Type + ".channels2"
        << "stale" << false << 1
        << "stale channel record: " + Type + ".channels2 has serial 1, below the first format's 2";
    QTest::newRow("missing ini") << "2/" + Type + ".ini"
                                 << "delete" << false << 1 << "checked 0 files and 0 patches: 1 problem\n";
}

void TestMirrorCheck::checksWhatTheMirrorServes()
{
    QFETCH(QString, path);
    QFETCH(QString, edit);
    QFETCH(bool, deep);

    QString target = fixture->mirrorRoot + "/" + path;
    // The one patch of the release stands for the patch directory.
    if (path == "2/patches" && edit == "alter") {
        QDirIterator patches(target, QDir::Files, QDirIterator::Subdirectories);
        QVERIFY(patches.hasNext());
        target = patches.next();
    }
    QByteArray content = FileTree::read(target);
    if (edit == "delete")
        QVERIFY(QFileInfo(target).isDir() ? QDir(target).removeRecursively() : QFile::remove(target));
    if (edit == "shorten")
        content.chop(1);
    if (edit.startsWith("lengthen"))
        content += 'x';
    if (edit == "alter")
        content.back() = char(~content.back());
    if (edit == "shorten" || edit.startsWith("lengthen") || edit == "alter")
        QVERIFY(FileTree::write(target, content));
    if (edit == "sign with key 2")
        QVERIFY(writeChannelRecord(fixture->mirrorRoot, 2));
    if (edit == "stale") {
        const QString second = fixture->mirrorRoot + "/" + path;
        const QByteArray earlier = FileTree::read(second);
        QVERIFY(writeChannelRecord(fixture->mirrorRoot, 1) && QFile::remove(second)
            && FileTree::write(second, earlier));
    }
    if (edit == "expire")
        QVERIFY(writeChannelRecord(fixture->mirrorRoot, 1, QDateTime::currentSecsSinceEpoch() - 8 * 86400));
    const QString root = fixture->mirrorRoot;
    const QString elsewhere = fixture->server.baseUrl() + "/m/1/files/data/a.dat";
    fixture->intercept = [&](const QString& served, HttpTestServer::Response response) {
        if (edit == "redirect" && served == path)
            return HttpTestServer::Response::redirect(elsewhere.toLatin1());
        if (edit.endsWith("ignore ranges") && response.status == 206)
            return HttpTestServer::Response::ok(FileTree::read(root + "/" + served));
        return response;
    };

    QString out;
    QTEST(check(deep ? QStringList { "--deep" } : QStringList(), &out), "exitCode");
    QFETCH(QString, output);
    QVERIFY2(out.contains(output), qPrintable(out));
    QVERIFY(!fixture->server.requestedPaths().contains("/m/1/files/data/a.dat"));
    // One line per problem and the summary; a mirror that serves ranges is
    // asked for one byte of each file unless the check is deep.
    QFETCH(int, exitCode);
    QCOMPARE(out.count('\n') == 1, exitCode == 0);
    if (edit.isEmpty() && !deep) {
        qint64 metadata = QFileInfo(root + "/" + Type + ".channels").size()
            + QFileInfo(root + "/" + Type + ".channels2").size();
        for (const char* suffix : { ".ini", ".ini.sig", ".manifest", ".patches", ".patches.sig" })
            metadata += QFileInfo(root + "/2/" + Type + suffix).size();
        // "Not Found" answers the chunk binding this release lacks.
        QCOMPARE(fixture->server.bodyBytesSent(), metadata + 7 + 9);
    }
}

void TestMirrorCheck::checksChunks_data()
{
    // What is done to the file at `path` below the mirror root; "PACK"
    // stands for the one pack's name.
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("output");

    QTest::newRow("complete") << QString() << QString() << "and 1 chunk packs: 0 problems";
    QTest::newRow("no chunks") << "3/" + Type + ".chunks.binding"
                               << "delete"
                               << "checked 6 files and 0 patches: 0 problems";
    QTest::newRow("missing pack") << "chunks/PACK.pack"
                                  << "delete"
                                  << "missing: chunks/PACK.pack (404)";
    QTest::newRow("pack a byte short") << "chunks/PACK.pack"
                                       << "shorten"
                                       << "short pack: chunks/PACK.pack is";
    QTest::newRow("pack a byte long") << "chunks/PACK.pack"
                                      << "lengthen"
                                      << "and 1 chunk packs: 0 problems";
    QTest::newRow("altered chunk index")
        << "3/" + Type + ".chunks"
        << "alter"
        << "bad chunk index: 3/" + Type + ".chunks is not the one its binding names";
    QTest::newRow("binding of another manifest")
        << "3/" + Type + ".chunks.binding"
        << "other manifest"
        << "bad chunk binding: 3/" + Type + ".chunks.binding does not name the release manifest";
}

void TestMirrorCheck::checksChunks()
{
    QFETCH(QString, path);
    QFETCH(QString, edit);
    QFETCH(QString, output);

    ReleasePublisher::Options options;
    options.sourceDir = fixture->work.filePath("two");
    options.outputDir = fixture->mirrorRoot;
    options.version = 3;
    options.updateType = Type;
    options.privateKeyPath = DemoSigner::privateKeyPem();
    options.manifestKeyPaths = DemoSigner::ed25519KeyPems();
    options.chunks = true;
    ReleasePublisher publisher(options);
    QVERIFY2(publisher.publish(), qPrintable(publisher.errorString()));
    const QStringList packs = QDir(fixture->mirrorRoot + "/chunks").entryList({ "*.pack" });
    QCOMPARE(packs.size(), 1);
    path.replace("PACK.pack", packs.first());
    output.replace("PACK.pack", packs.first());
    const QString target = fixture->mirrorRoot + "/" + path;
    QByteArray content = FileTree::read(target);
    if (edit == "delete")
        QVERIFY(QFile::remove(target));
    if (edit == "shorten")
        content.chop(1);
    if (edit == "lengthen")
        content += 'x';
    if (edit == "alter")
        content[content.size() - 2] = content.at(content.size() - 2) == '0' ? '1' : '0';
    if (edit == "other manifest") {
        const qsizetype digit = content.indexOf("manifest\t") + 9;
        content[digit] = content.at(digit) == '0' ? '1' : '0';
    }
    if (edit == "shorten" || edit == "lengthen" || edit == "alter" || edit == "other manifest")
        QVERIFY(QFile::remove(target) && FileTree::write(target, content));

    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    ReleaseCommandLine commandLine(outStream, errStream);
    const int code = commandLine.run(
        { "voxmeadow-release", "check-mirror", "--public-key", DemoSigner::publicKeyDer(), mirrorUrl, "3" });
    out += err;
    QVERIFY2(out.contains(output), qPrintable(out));
    QCOMPARE(code, output.endsWith("0 problems") ? 0 : 1);
}

void TestMirrorCheck::givesUpAStalledRequest()
{
    fixture->intercept = [](const QString& served, HttpTestServer::Response response) {
        if (served == "2/files/data/a.dat")
            response.stallAfter = 0;
        return response;
    };
    ReleaseKey key;
    QString error;
    QVERIFY(key.loadPublic(DemoSigner::publicKeyDer(), &error));
    TransferEngine transfers;
    MirrorCheck mirrorCheck(&transfers, { mirrorUrl, 2, Type, false }, key);
    QStringList problems;
    connect(&mirrorCheck, &MirrorCheck::problem, this, [&](const QString& line) { problems << line; });
    mirrorCheck.start();
    // Everything else is checked; the stalled file holds the check until
    // its time is up, counted in ticks.
    QTRY_VERIFY(
        fixture->server.requestCount("/m/2/files/data/a.dat") == 1 && transfers.runningTransfers() == 1);
    // The first tick sets the window's start.
    for (int tick = 0; tick <= FTPSiteAccessData().timeoutTicks; ++tick)
        mirrorCheck.tick();
    QTRY_VERIFY(mirrorCheck.isFinished());
    QCOMPARE(problems, QStringList { "failed: 2/files/data/a.dat (stalled: 0 bytes in 15 s)" });
    QCOMPARE(mirrorCheck.filesChecked(), 6);
}

void TestMirrorCheck::judgesASlowRequest_data()
{
    // Body bytes sent before each tick, ticks run, and why the request was
    // given up (empty: it still runs).
    QTest::addColumn<int>("chunk");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("verdict");
    // Milliseconds of the engine's clock a tick lasts, with the deadline of
    // the 1 MiB bound (the ten-minute ceiling); 0: no deadline.
    QTest::addColumn<qint64>("tickMs");

    QTest::newRow("nothing") << 0 << 16 << "stalled: 0 bytes in 15 s" << qint64(0);
    QTest::newRow("900 bytes in 15 ticks") << 60 << 16 << "stalled: 900 bytes in 15 s" << qint64(0);
    QTest::newRow("1050 bytes in 15 ticks") << 70 << 31 << "too slow: 2100 bytes in 30 s" << qint64(0);
    QTest::newRow("30 KiB in 30 ticks") << 1024 << 31 << "too slow: 30720 bytes in 30 s" << qint64(0);
    QTest::newRow("33000 bytes in 30 ticks") << 1100 << 45 << QString() << qint64(0);
    QTest::newRow("45 ticks of 13 s, within the deadline") << 1100 << 45 << QString() << qint64(13000);
    QTest::newRow("31 ticks of 20 s, past the deadline")
        << 1100 << 45 << "not received within 600 s" << qint64(20000);
}

void TestMirrorCheck::judgesASlowRequest()
{
    QFETCH(int, chunk);
    QFETCH(int, ticks);
    QFETCH(QString, verdict);
    QFETCH(qint64, tickMs);

    HttpTestServer::Response response = HttpTestServer::Response::ok(ReleaseFixture::bytes(100000, 4));
    response.dripChunk = chunk;
    response.stallAfter = chunk == 0 ? 0 : -1;
    fixture->server.setResponse("/slow", response);
    TransferEngine transfers;
    qint64 now = 0;
    MirrorProbe probe(&transfers, QUrl(fixture->server.baseUrl() + "/slow"), nullptr);
    if (tickMs > 0) {
        transfers.setClock([&now] { return now; });
        probe.setDeadlineFromBound();
    }
    QSignalSpy finished(&probe, &MirrorProbe::finished);
    probe.fetch(1 << 20, [](const char*, qint64) { return true; });
    // The server sends a first piece with the head, one more at each drip.
    QTRY_COMPARE(probe.receivedBytes(), qint64(chunk));
    for (int tick = 0; tick < ticks && finished.isEmpty(); ++tick) {
        now += tickMs;
        probe.tick();
        if (chunk > 0 && finished.isEmpty()) {
            fixture->server.drip();
            QTRY_COMPARE(probe.receivedBytes(), qint64(tick + 2) * chunk);
        }
    }
    QCOMPARE(finished.count(), verdict.isEmpty() ? 0 : 1);
    QCOMPARE(probe.errorString(), verdict);
}

QTEST_GUILESS_MAIN(TestMirrorCheck)
#include "tst_mirrorcheck.moc"
