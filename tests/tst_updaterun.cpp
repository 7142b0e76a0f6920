#include "transfer/transferengine.h"
#include "manifest/installationlayout.h"
#include "demosigner.h"
#include "verify/cryptwrapper.h"
#include "update/digestcache.h"
#include "manifest/contenthasher.h"
#include "manifest/filestamp.h"
#include "update/maintaskspecification.h"
#include "manifest/releasemanifest.h"
#include "manifest/releasemarker.h"
#include "verify/ed25519key.h"
#include "verify/releasetrust.h"
#include "transfer/mirrors.h"
#include "fileops/filereplacelisttaskspecification.h"
#include "update/updateinidata.h"
#include "filetree.h"
#include "httptestserver.h"
#include "installfixture.h"
#include "manifestcosigner.h"
#include "releasefixture.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <sys/stat.h>
#include <unistd.h>

using ReleaseFixture::Tree;

namespace {

const QStringList mirrorNames { QStringLiteral("m1"), QStringLiteral("m2"), QStringLiteral("m3") };
const QString updateType = QStringLiteral("client_linux_amd64");
const QString invalidLine = QStringLiteral("Warning: product ini contains invalid line in section %1");

// Two blocks of 128 bytes with the same MD5 sum (Wang and Yu, 2004).
const QByteArray md5Twin1 = QByteArray::fromHex(
    "d131dd02c5e6eec4693d9a0698aff95c2fcab58712467eab4004583eb8fb7f8955ad340609f4b30283e488832571415a"
    "085125e8f7cdc99fd91dbdf280373c5bd8823e3156348f5bae6dacd436c919c6dd53e2b487da03fd02396306d248cda0"
    "e99f33420f577ee8ce54b67080a80d1ec69821bcb6a8839396f9652b6ff72a70");
const QByteArray md5Twin2 = QByteArray::fromHex(
    "d131dd02c5e6eec4693d9a0698aff95c2fcab50712467eab4004583eb8fb7f8955ad340609f4b30283e4888325f1415a"
    "085125e8f7cdc99fd91dbd7280373c5bd8823e3156348f5bae6dacd436c919c6dd53e23487da03fd02396306d248cda0"
    "e99f33420f577ee8ce54b67080280d1ec69821bcb6a8839396f965ab6ff72a70");

Ed25519Key demoReleaseKey(int number)
{
    QString error;
    return Ed25519Key::readPrivatePem(DemoSigner::ed25519KeyPem(number), &error);
}

struct RunResult
{
    TaskState state = Idle;
    QStringList messages;
    // Request paths below the mirrors, without the mirror name: "1/files/a".
    QStringList requests;
    QStringList mirrorsLeft;
    FileSpecifications lists;
    // The download list as the downloads start: the run drops it when they end.
    QList<FileDownloadSpecification> downloads;
    RunSummary summary;
};

Tree versionOne()
{
    return {
        { "vx3client_runscript.sh", "#!/bin/sh\nexec ./vx3client_linux_amd64 \"$@\"\n" },
        { "vx3client_linux_amd64", ReleaseFixture::bytes(200000, 1) },
        { "lib/libvx.so", ReleaseFixture::bytes(70000, 2) },
        { "lib/plugins/libcodec.so", ReleaseFixture::bytes(30000, 3) },
        { "data/textures/a.dat", ReleaseFixture::bytes(5000, 4) },
        { "data/textures/b.dat", ReleaseFixture::bytes(6000, 5) },
        { "data/sounds/c.ogg", ReleaseFixture::bytes(7000, 6) },
        { "docs/readme.txt", QByteArray("Read me.\n").repeated(300) },
        { "deep/a/b/c/d.txt", "deep\n" },
        { "empty.txt", QByteArray() },
    };
}

Tree versionTwo()
{
    Tree tree = versionOne();
    tree["vx3client_linux_amd64"] = ReleaseFixture::bytes(210000, 11);
    tree["docs/readme.txt"] = QByteArray("Read me again.\n").repeated(300);
    tree.remove("data/sounds/c.ogg");
    tree.remove("deep/a/b/c/d.txt");
    tree["data/sounds/e.ogg"] = ReleaseFixture::bytes(8000, 12);
    tree["lib/plugins/libnew.so"] = ReleaseFixture::bytes(9000, 13);
    return tree;
}

const QStringList packed { QStringLiteral("*.txt"), QStringLiteral("*.so") };

} // namespace

class TestUpdateRun : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void freshInstall();
    void releaseMadeWithSystemTools();
    void updateChangesOnlyWhatChanged();
    void corruptMirrorIsStruckOff();
    void failedInstallRestoresEverything();
    void rerunAfterCancelFetchesOnlyWhatIsMissing();
    void cancelAfterInstallationIsIgnored_data();
    void cancelAfterInstallationIsIgnored();
    void pathEscapingLinesAreRefused_data();
    void pathEscapingLinesAreRefused();
    void diskFull_data();
    void diskFull();
    void fullCheck_data();
    void fullCheck();
    void executableModes_data();
    void executableModes();
    void releaseTrust_data();
    void releaseTrust();
    void keyRotation();
    void directoryModes_data();
    void directoryModes();
    void plantedLinksAreNeverFollowed_data();
    void plantedLinksAreNeverFollowed();
    void failedDeletionIsNoCleanSuccess_data();
    void failedDeletionIsNoCleanSuccess();

private:
    QString publishTree(int version, const Tree& tree, int previousVersion = 0);
    RunResult runUpdate(int version, int concurrency = 6,
        const std::function<void(MainTaskSpecification*)>& started = {}, const ReleaseTrust* trust = nullptr);
    QStringList fileRequests(const QStringList& requests) const;
    QMap<QString, QString> installed() const;
    // The installation without the updater's own digest cache.
    FileTree::Snapshot installationSnapshot() const;

    bool mount(const QString& dir, int kib);

    std::unique_ptr<InstallFixture> fixture;
    QStringList mounts;
    QString install;
    // Whether the next run reads every installed file.
    bool fullCheckNext = false;
    QString mirrorRoot;
    QString temp;
    HttpTestServer* server = nullptr;
    TransferEngine* manager = nullptr;
};

void TestUpdateRun::initTestCase()
{
    SKIP_UNLESS_DEMO_KEY();
    crypt_init();
}

void TestUpdateRun::init()
{
    fixture = std::make_unique<InstallFixture>(mirrorNames);
    QVERIFY(fixture->isValid());
    QVERIFY(fixture->writeMirrorsIni());
    install = fixture->install;
    mirrorRoot = fixture->mirrorRoot;
    temp = fixture->tmp;
    server = &fixture->server;
    manager = new TransferEngine(this);
}

void TestUpdateRun::cleanup()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    for (const QString& dir : std::as_const(mounts))
        QProcess::execute(QStringLiteral("umount"), { dir });
    mounts.clear();
    delete manager;
    fixture.reset();
}

QString TestUpdateRun::publishTree(int version, const Tree& tree, int previousVersion)
{
    const QString source = fixture->work.filePath(QStringLiteral("source-%1").arg(version));
    QString error;
    const QString previous
        = previousVersion ? ReleaseFixture::productIniPath(mirrorRoot, previousVersion) : QString();
    if (!ReleaseFixture::writeTree(source, tree)
        || !ReleaseFixture::publish(source, mirrorRoot, version, packed, previous, &error)) {
        qWarning() << "publishing failed:" << error;
        return QString();
    }
    return source;
}

RunResult TestUpdateRun::runUpdate(int version, int concurrency,
    const std::function<void(MainTaskSpecification*)>& started, const ReleaseTrust* trust)
{
    Mirrors mirrors;
    mirrors.initDefault(QDir(install).filePath("mirrors.ini"), version);
    const int requestsBefore = server->requestCount();

    MainTaskSpecification task(DownloadContext { manager, &mirrors, InstallationLayout(install, temp) },
        updateType, version, concurrency, nullptr, 1.0);
    if (trust)
        task.setTrust(*trust);
    task.setFullCheck(fullCheckNext);
    QSignalSpy finished(&task, &TaskSpecification::finished);
    QSignalSpy canceled(&task, &TaskSpecification::canceled);
    QSignalSpy messages(&task, &TaskSpecification::message);
    connect(&mirrors, &Mirrors::message, &task, &TaskSpecification::message);
    RunResult result;
    connect(&task, &TaskSpecification::message, &task, [&](const QString& text) {
        if (text == QLatin1String("Downloading files"))
            for (qsizetype i = 0; i < task.specifications().downloadCount(); ++i)
                result.downloads.append(task.specifications().download(i));
    });
    task.execute();
    if (started)
        started(&task);
    const bool ended = QTest::qWaitFor([&] { return finished.count() + canceled.count() > 0; }, 60000);
    // A second end signal would show up here.
    QCoreApplication::processEvents();

    result.state = ended && finished.count() + canceled.count() == 1 ? task.state : Idle;
    for (const QList<QVariant>& arguments : std::as_const(messages))
        result.messages << arguments.at(0).toString();
    const QList<QByteArray> paths = server->requestedPaths().mid(requestsBefore);
    for (const QByteArray& path : paths)
        result.requests << QUrl::fromPercentEncoding(path).section(QLatin1Char('/'), 2);
    for (const FTPSiteAccessData& mirror : mirrors.mirrorData())
        result.mirrorsLeft << mirror.name;
    result.lists = task.specifications();
    result.summary = task.summary();
    return result;
}

QStringList TestUpdateRun::fileRequests(const QStringList& requests) const
{
    QStringList files;
    for (const QString& request : requests) {
        if (!request.endsWith(QLatin1String(".ini")) && !request.endsWith(QLatin1String(".ini.sig"))
            && !request.endsWith(QLatin1String(".manifest")) && !request.contains(QLatin1String(".patches")))
            files << request;
    }
    files.sort();
    return files;
}

FileTree::Snapshot TestUpdateRun::installationSnapshot() const
{
    FileTree::Snapshot tree = FileTree::snapshot(install);
    tree.files.remove(DigestCache::fileName());
    return tree;
}

QMap<QString, QString> TestUpdateRun::installed() const
{
    return ReleaseFixture::contents(install, { QStringLiteral("mirrors.ini"), DigestCache::fileName() });
}

void TestUpdateRun::freshInstall()
{
    const QString source = publishTree(1, versionOne());
    QVERIFY(!source.isEmpty());

    const RunResult run = runUpdate(1);

    QCOMPARE(run.state, Finished);
    QCOMPARE(run.messages.value(0), QStringLiteral("Starting update process"));
    QCOMPARE(installed(), ReleaseFixture::contents(source));
    QCOMPARE(FileTree::read(install + "/" + ReleaseMarker::fileName()),
        ReleaseMarker::text({ "client_linux_amd64", 1 }));
    // Each file and the release marker once, from the section directories,
    // packed ones as .gz.
    QCOMPARE(fileRequests(run.requests).size(), versionOne().size() + 1);
    QVERIFY(run.requests.contains("1/libs/lib/libvx.so.gz"));
    QVERIFY(run.requests.contains("1/files/data/textures/a.dat"));
    QVERIFY(!QFileInfo::exists(QDir(install).filePath("old")));
    const QFile::Permissions executable = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;
    QCOMPARE(QFile::permissions(QDir(install).filePath("vx3client_runscript.sh")) & executable, executable);
    QCOMPARE(QFile::permissions(QDir(install).filePath("lib/libvx.so")) & executable, executable);
    QCOMPARE(
        QFile::permissions(QDir(install).filePath("data/textures/a.dat")) & executable, QFile::Permissions());
}

void TestUpdateRun::releaseMadeWithSystemTools()
{
    // A product ini written by hand, packed files from the system's gzip
    // (with a name in their header), the signature from openssl.
    if (QStandardPaths::findExecutable("gzip").isEmpty())
        QSKIP("gzip is not installed");
    const Tree tree = versionOne();
    const QString source = fixture->work.filePath("source");
    QVERIFY(ReleaseFixture::writeTree(source, tree));
    QByteArray ini = "[files]\n";
    for (auto it = tree.cbegin(); it != tree.cend(); ++it) {
        const QString published = QDir(mirrorRoot).filePath("1/files/" + it.key());
        QString md5 = FileTree::md5Hex(it.value());
        if (it.key().endsWith(".so")) {
            QProcess gzip;
            gzip.setStandardOutputFile(published + ".gz");
            QVERIFY(QDir().mkpath(QFileInfo(published).path()));
            gzip.start("gzip", { "-c", QDir(source).filePath(it.key()) });
            QVERIFY(gzip.waitForFinished(30000) && gzip.exitCode() == 0);
            const QByteArray packed = FileTree::read(published + ".gz");
            ini += it.key().toUtf8() + ".gz=" + FileTree::md5Hex(packed).toLatin1()
                + "::" + QByteArray::number(packed.size()) + "::" + md5.toLatin1()
                + "::" + QByteArray::number(it.value().size()) + "::" + it.key().toUtf8() + "\n";
            continue;
        }
        QVERIFY(FileTree::write(published, it.value()));
        // Sums are compared without regard to letter case.
        if (it.key().startsWith("data/"))
            md5 = md5.toUpper();
        ini += it.key().toUtf8() + "=" + md5.toLatin1() + "::" + QByteArray::number(it.value().size()) + "\n";
    }
    ini += "[delete]\nobsolete.txt=\n" + ProductIniLine::bindingKey({ updateType, 1 }).toUtf8() + "=\n";
    const QString iniPath = ReleaseFixture::productIniPath(mirrorRoot, 1);
    QVERIFY(FileTree::write(iniPath, ini));
    const QByteArray signature = DemoSigner::opensslAvailable()
        ? DemoSigner::signWithOpenssl(iniPath, DemoSigner::pssOptions())
        : DemoSigner::sign(ini);
    QVERIFY(FileTree::write(iniPath + ".sig", signature));
    // The manifest that makes the release trusted comes from the release code.
    QVERIFY(ReleaseFixture::rewriteManifest(mirrorRoot, 1));
    QVERIFY(FileTree::write(QDir(install).filePath("obsolete.txt"), "obsolete"));

    const RunResult run = runUpdate(1);

    QCOMPARE(run.state, Finished);
    QCOMPARE(installed(), ReleaseFixture::contents(source));
}

void TestUpdateRun::updateChangesOnlyWhatChanged()
{
    QVERIFY(!publishTree(1, versionOne()).isEmpty());
    QCOMPARE(runUpdate(1).state, Finished);
    const QString source = publishTree(2, versionTwo(), 1);
    QVERIFY(!source.isEmpty());
    QVERIFY(QDir(temp).removeRecursively() && QDir().mkpath(temp));

    const RunResult run = runUpdate(2);

    QCOMPARE(run.state, Finished);
    QCOMPARE(installed(), ReleaseFixture::contents(source));
    const QStringList expected { "2/files/data/sounds/e.ogg", "2/files/docs/readme.txt.gz",
        "2/files/lib/plugins/libnew.so.gz", "2/files/voxmeadow.release", "2/files/vx3client_linux_amd64" };
    QCOMPARE(fileRequests(run.requests), expected);
    // With the release marker's old copy.
    QCOMPARE(run.lists.deleteList.size(), 5);
    QVERIFY(run.lists.deleteList.contains("data/sounds/c.ogg"));
    QVERIFY(run.lists.deleteList.contains("deep/a/b/c/d.txt"));
    QVERIFY(run.lists.deleteList.contains("old/_old_vx3client_linux_amd64"));
    QVERIFY(run.lists.deleteList.contains("old/_old_readme.txt"));
    QVERIFY(!QFileInfo::exists(QDir(install).filePath("old")));

    // Nothing left to do: what proves it is fetched, and no patch index.
    QVERIFY(QDir(temp).removeRecursively() && QDir().mkpath(temp));
    const RunResult again = runUpdate(2);
    QCOMPARE(again.state, Finished);
    QStringList asked = again.requests;
    asked.sort();
    QCOMPARE(asked,
        QStringList(
            { "2/" + updateType + ".ini", "2/" + updateType + ".ini.sig", "2/" + updateType + ".manifest" }));
    QVERIFY(again.messages.contains("No downloads needed"));
    QCOMPARE(installed(), ReleaseFixture::contents(source));
}

void TestUpdateRun::corruptMirrorIsStruckOff()
{
    const QString source = publishTree(1, versionOne());
    QVERIFY(!source.isEmpty());
    // m2 serves every file of the release damaged; its product ini is fine.
    const QMap<QString, QString> published = ReleaseFixture::contents(QDir(mirrorRoot).filePath("1"));
    for (auto it = published.cbegin(); it != published.cend(); ++it) {
        if (it.key().startsWith(updateType))
            continue;
        QByteArray body = FileTree::read(QDir(mirrorRoot).filePath("1/" + it.key()));
        // Same size, another byte: only the digest can tell.
        body[body.size() - 1] = char(body.at(body.size() - 1) ^ 1);
        fixture->overrides["m2"].insert("1/" + it.key(), body);
    }
    int servedByBadMirror = 0;
    connect(server, &HttpTestServer::requestReceived, this, [&](const QByteArray& path) {
        if (path.startsWith("/m2/1/files") || path.startsWith("/m2/1/libs"))
            ++servedByBadMirror;
    });

    // Three mirrors and six parallel downloads: all three serve from the start.
    const RunResult run = runUpdate(1, 6);

    QCOMPARE(run.state, Finished);
    // m2 may hand out a second file before the check of its first one reports.
    QVERIFY(servedByBadMirror >= 1);
    const QRegularExpression mismatch("^sha-256 sum for .* failed, invalidating mirror and retrying$");
    QCOMPARE(run.messages.filter(mismatch).size(), servedByBadMirror);
    QCOMPARE(run.mirrorsLeft, (QStringList { "m1", "m3" }));
    QCOMPARE(installed(), ReleaseFixture::contents(source));
}

void TestUpdateRun::failedInstallRestoresEverything()
{
    QVERIFY(!publishTree(1, versionOne()).isEmpty());
    QCOMPARE(runUpdate(1).state, Finished);
    const FileTree::Snapshot before = installationSnapshot();

    Tree two = versionTwo();
    two["zz/last.txt"] = "last\n";
    QVERIFY(!publishTree(2, two, 1).isEmpty());
    // The unpacked content of the last file does not match its listed sum.
    QVERIFY(ReleaseFixture::editManifest(
        mirrorRoot, 2, updateType, [](ReleaseManifest::Header*, QList<ReleaseManifest::File>* files) {
            for (ReleaseManifest::File& file : *files) {
                if (file.key == "zz/last.txt.gz")
                    file.unpackedSha256
                        = ContentSum::fromDigest(QByteArray(32, '0'), ContentSum::Algorithm::Sha256);
            }
        }));
    QVERIFY(QDir(temp).removeRecursively() && QDir().mkpath(temp));

    const RunResult run = runUpdate(2, 6);

    QCOMPARE(run.state, ErrorCanceled);
    QVERIFY(run.messages.contains("rolling back file updates"));
    QVERIFY(!run.messages.contains("Starting deleting files"));
    // The digest cache is the updater's own record, not installed content:
    // the second run legitimately forgot the files it was about to replace.
    FileTree::Snapshot after = installationSnapshot();
    FileTree::Snapshot expected = before;
    after.files.remove(DigestCache::fileName());
    expected.files.remove(DigestCache::fileName());
    QVERIFY2(after == expected, qPrintable(after.difference(expected)));
}

void TestUpdateRun::rerunAfterCancelFetchesOnlyWhatIsMissing()
{
    const QString source = publishTree(1, versionOne());
    QVERIFY(!source.isEmpty());
    const FileTree::Snapshot untouched = installationSnapshot();

    // One download at a time; the fourth file stalls and the user cancels.
    const int cancelAt = 4;
    int fileRequestCount = 0;
    MainTaskSpecification* running = nullptr;
    fixture->intercept = [&](const QString& path, HttpTestServer::Response response) {
        if (path.endsWith(QLatin1String(".ini")) || path.endsWith(QLatin1String(".sig"))
            || path.endsWith(QLatin1String(".manifest")) || path.endsWith(QLatin1String(".patches")))
            return response;
        if (++fileRequestCount == cancelAt) {
            response.stallAfter = 0;
            QTimer::singleShot(0, running, [&] { running->userCanceled(); });
        }
        return response;
    };
    const RunResult first = runUpdate(1, 1, [&](MainTaskSpecification* task) { running = task; });
    QCOMPARE(first.state, UserCanceled);
    QCOMPARE(fileRequests(first.requests).size(), cancelAt);
    QVERIFY(installationSnapshot() == untouched);
    server->releaseStalled();

    fixture->intercept = nullptr;
    const RunResult second = runUpdate(1, 3);

    QCOMPARE(second.state, Finished);
    // The product ini and the completed files are reused from the first run.
    QCOMPARE(second.requests.size() - second.requests.filter(".patches").size(),
        versionOne().size() + 1 - (cancelAt - 1));
    QStringList expected;
    for (const FileDownloadSpecification& entry : std::as_const(second.downloads))
        expected << QStringLiteral("1/%1/%2").arg(entry.section, entry.fileName);
    expected.sort();
    QCOMPARE(fileRequests(second.requests), expected);
    for (const QString& request : fileRequests(first.requests).mid(0, cancelAt - 1))
        QVERIFY2(!second.requests.contains(request), qPrintable(request));
    QCOMPARE(installed(), ReleaseFixture::contents(source));
}

void TestUpdateRun::cancelAfterInstallationIsIgnored_data()
{
    QTest::addColumn<QString>("moment");
    QTest::addColumn<int>("state");

    QTest::newRow("while installing") << "add/replace" << int(UserCanceled);
    QTest::newRow("as the installation ends") << "installed" << int(Finished);
    QTest::newRow("while deleting") << "Starting deleting files" << int(Finished);
}

void TestUpdateRun::cancelAfterInstallationIsIgnored()
{
    QFETCH(QString, moment);
    QFETCH(int, state);

    QVERIFY(!publishTree(1, versionOne()).isEmpty());
    QCOMPARE(runUpdate(1).state, Finished);
    const FileTree::Snapshot before = installationSnapshot();
    const QString source = publishTree(2, versionTwo(), 1);
    QVERIFY(!source.isEmpty());
    QVERIFY(QDir(temp).removeRecursively() && QDir().mkpath(temp));

    const RunResult run = runUpdate(2, 6, [&](MainTaskSpecification* task) {
        auto* installation = task->findChild<FileReplaceListTaskSpecification*>();
        if (moment == QLatin1String("installed")) {
            connect(installation, &TaskSpecification::finished, task, [task] { task->userCanceled(); });
            return;
        }
        connect(task, &TaskSpecification::message, task, [task, moment](const QString& text) {
            if (text.startsWith(moment))
                task->userCanceled();
        });
    });

    QCOMPARE(int(run.state), state);
    if (state == Finished) {
        QCOMPARE(installed(), ReleaseFixture::contents(source));
        QVERIFY(!QFileInfo::exists(QDir(install).filePath("old")));
    } else {
        const FileTree::Snapshot after = installationSnapshot();
        QVERIFY2(after == before, qPrintable(after.difference(before)));
    }
}

void TestUpdateRun::pathEscapingLinesAreRefused_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QString>("section");

    // Every line names existing mirror content, so only the path decides.
    const QByteArray plain = "=" + FileTree::md5Hex("x").toLatin1() + "::1";
    const QByteArray packedTo = "=" + FileTree::md5Hex(FileTree::gzip("x")).toLatin1() + "::"
        + QByteArray::number(FileTree::gzip("x").size()) + "::" + FileTree::md5Hex("x").toLatin1() + "::1::";
    QTest::newRow("key with ..") << "[files]\n../victim" + plain << "files";
    QTest::newRow("key with .. inside") << "[files]\na/../../victim" + plain << "files";
    QTest::newRow("absolute key") << "[files]\n%2Ftmp%2Fvictim" + plain << "files";
    QTest::newRow("key with backslash") << "[files]\na%5C..%5Cvictim" + plain << "files";
    QTest::newRow("key with NUL") << "[files]\na%00b" + plain << "files";
    QTest::newRow("installed name with ..") << "[libs]\nx.gz" + packedTo + "../victim"
                                            << "libs";
    QTest::newRow("absolute installed name") << "[libs]\nx.gz" + packedTo + "/tmp/victim"
                                             << "libs";
    QTest::newRow("installed name with backslash") << "[libs]\nx.gz" + packedTo + "..\\\\victim"
                                                   << "libs";
    QTest::newRow("key naming the installation") << "[files]\n." + plain << "files";
    QTest::newRow("installed name naming the installation") << "[libs]\nx.gz" + packedTo + "."
                                                            << "libs";
    QTest::newRow("installed name with an empty part") << "[libs]\nx.gz" + packedTo + "a//x"
                                                       << "libs";
    QTest::newRow("delete key naming the installation") << QByteArray("[delete]\n.=\n") << "delete";
    QTest::newRow("delete key with ..") << QByteArray("[delete]\n../victim=\n") << "delete";
    QTest::newRow("absolute delete key") << QByteArray("[delete]\n%2Ftmp%2Fvictim=\n") << "delete";
}

void TestUpdateRun::pathEscapingLinesAreRefused()
{
    QFETCH(QByteArray, line);
    QFETCH(QString, section);

    QVERIFY(!publishTree(1, { { "keep.txt", "keep\n" } }).isEmpty());
    QCOMPARE(runUpdate(1).state, Finished);
    // The file the lines point at, beside the installation.
    QVERIFY(FileTree::write(fixture->work.filePath("victim"), "victim\n"));
    QVERIFY(FileTree::write(QDir(mirrorRoot).filePath("2/files/x"), "x"));
    QVERIFY(FileTree::write(QDir(mirrorRoot).filePath("2/libs/x.gz"), FileTree::gzip("x")));
    QVERIFY(FileTree::write(QDir(mirrorRoot).filePath("2/aaa/new.txt"), "new"));
    // A valid line first, so the refusal also stops what was already listed.
    const QByteArray ini = "[aaa]\nnew.txt=" + FileTree::md5Hex("new").toLatin1() + "::3\n" + line + "\n";
    QVERIFY(ReleaseFixture::replaceProductIni(mirrorRoot, 2, ini));
    QVERIFY(QDir(temp).removeRecursively() && QDir().mkpath(temp));
    const FileTree::Snapshot before = installationSnapshot();

    const RunResult run = runUpdate(2);

    QCOMPARE(run.state, ErrorCanceled);
    QVERIFY2(run.messages.contains(invalidLine.arg(section)), qPrintable(run.messages.join('\n')));
    QVERIFY(fileRequests(run.requests).isEmpty());
    QVERIFY(!run.messages.contains("Starting file updates"));
    const FileTree::Snapshot after = installationSnapshot();
    QVERIFY2(after == before, qPrintable(after.difference(before)));
    QCOMPARE(FileTree::read(fixture->work.filePath("victim")), QByteArray("victim\n"));
    QCOMPARE(QDir(temp).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
        (QStringList {
            "client_linux_amd64.ini", "client_linux_amd64.ini.sig", "client_linux_amd64.manifest" }));
}

bool TestUpdateRun::mount(const QString& dir, int kib)
{
    if (QProcess::execute(QStringLiteral("mount"),
            { "-t", "tmpfs", "-o", QStringLiteral("size=%1k").arg(kib), "tmpfs", dir })
        != 0)
        return false;
    mounts << dir;
    return true;
}

void TestUpdateRun::diskFull_data()
{
    QTest::addColumn<QString>("mounted"); // the directory on a small file system of its own
    QTest::addColumn<int>("kib");
    QTest::addColumn<bool>("fillDuringDownloads");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("text"); // %1: the mounted directory

    // Version 2 downloads and installs about 230 KB; version 1 holds 330 KB.
    QTest::newRow("downloads do not fit")
        << "temp" << 128 << false << int(ErrorCanceled) << "Not enough disk space for the downloads in %1: ";
    QTest::newRow("downloads fit") << "temp" << 512 << false << int(Finished) << "";
    QTest::newRow("temporary file system fills up")
        << "temp" << 512 << true << int(ErrorCanceled) << "Could not write %1/";
    QTest::newRow("installation does not fit") << "install" << 450 << false << int(ErrorCanceled)
                                               << "Not enough disk space for the installation in %1: ";
    QTest::newRow("installation fits") << "install" << 640 << false << int(Finished) << "";
    QTest::newRow("installation file system fills up")
        << "install" << 640 << true << int(ErrorCanceled) << "The previous version is restored";
}

void TestUpdateRun::diskFull()
{
    QFETCH(QString, mounted);
    QFETCH(int, kib);
    QFETCH(bool, fillDuringDownloads);
    QFETCH(int, state);
    QFETCH(QString, text);

    if (::geteuid() != 0)
        QSKIP("needs root to mount a small file system");
    QVERIFY(!publishTree(1, versionOne()).isEmpty());
    const QString source = publishTree(2, versionTwo(), 1);
    QVERIFY(!source.isEmpty());
    const QString dir = mounted == "temp" ? temp : install;
    if (mounted == "install") {
        if (!mount(install, kib))
            QSKIP("cannot mount a tmpfs here");
        QVERIFY(fixture->writeMirrorsIni());
    }
    QCOMPARE(runUpdate(1).state, Finished);
    QVERIFY(QDir(temp).removeRecursively() && QDir().mkpath(temp));
    if (mounted == "temp" && !mount(temp, kib))
        QSKIP("cannot mount a tmpfs here");
    const FileTree::Snapshot before = installationSnapshot();

    // The first file request leaves 16 KiB free on the small file system.
    const QString filler = QDir(dir).filePath("filler");
    fixture->intercept = [&](const QString& path, HttpTestServer::Response response) {
        if (fillDuringDownloads && !path.contains(".ini") && !path.contains(".manifest")
            && !path.contains(".patches") && !QFileInfo::exists(filler))
            FileTree::write(filler, QByteArray(int(QStorageInfo(dir).bytesAvailable() - 16384), 'x'));
        return response;
    };
    const RunResult run = runUpdate(2);
    QFile::remove(filler);

    QCOMPARE(int(run.state), state);
    if (!text.isEmpty()) {
        const QString expected = text.arg(dir);
        QVERIFY2(!run.messages.filter(expected).isEmpty(), qPrintable(run.messages.join('\n')));
    }
    if (state == Finished) {
        QCOMPARE(installed(), ReleaseFixture::contents(source));
    } else {
        // Nothing installed, or everything rolled back exactly.
        const FileTree::Snapshot after = installationSnapshot();
        QVERIFY2(after == before, qPrintable(after.difference(before)));
    }
}

void TestUpdateRun::fullCheck_data()
{
    QTest::addColumn<bool>("full");
    QTest::newRow("digest cache trusted") << false;
    QTest::newRow("every file read") << true;
}

void TestUpdateRun::fullCheck()
{
    QFETCH(bool, full);
    const QString source = publishTree(1, versionOne());
    QVERIFY(!source.isEmpty());
    QCOMPARE(runUpdate(1).state, Finished);
    // Damaged as a failing disk damages: the digest cache remembers the
    // file's present stamp with the release's digest.
    const QString victim = QStringLiteral("data/textures/a.dat");
    const QString path = QDir(install).filePath(victim);
    const QByteArray good = FileTree::read(path);
    QByteArray bad = good;
    bad[0] = char(~bad.at(0));
    QVERIFY(FileTree::write(path, bad));
    FileStamp stamp;
    QVERIFY(FileStamp::of(path, stamp));
    DigestCache cache(QDir(install).filePath(DigestCache::fileName()), ContentSum::Algorithm::Sha256);
    QVERIFY(cache.load());
    ContentHasher hasher(ContentSum::Algorithm::Sha256);
    hasher.addData(good);
    cache.insert(victim, stamp, ContentSum::fromDigest(hasher.result(), ContentSum::Algorithm::Sha256),
        stamp.modifiedNs + qint64(60) * 1000 * 1000 * 1000);
    QVERIFY(cache.save());

    fullCheckNext = full;
    const RunResult run = runUpdate(1);
    fullCheckNext = false;

    QCOMPARE(run.state, Finished);
    QCOMPARE(FileTree::read(path), full ? good : bad);
    QCOMPARE(run.summary.filesChanged, full ? 1 : 0);
    QCOMPARE(run.summary.filesFetched, full ? 1 : 0);
    QCOMPARE(run.summary.filesChecked, qint64(versionOne().size() + 1));
    // What a full check read is what the next run trusts.
    if (full)
        QCOMPARE(runUpdate(1).summary.filesChanged, 0);
}

void TestUpdateRun::executableModes_data()
{
    // The file's mode in version 1 (-1: not there) and in version 2's source.
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("oldMode");
    QTest::addColumn<int>("newMode");
    QTest::addColumn<bool>("sameContent");
    // What happens to version 2's record before it is signed.
    QTest::addColumn<QString>("record");
    QTest::addColumn<int>("installedMode");
    QTest::addColumn<QString>("logged");

    QTest::newRow("new executable") << "browser/vulkantest" << -1 << 0755 << false << "kept" << 0755 << "";
    QTest::newRow("executable becoming a plain file")
        << "bin/helper" << 0755 << 0644 << true << "kept" << 0644 << "";
    QTest::newRow("plain file becoming an executable")
        << "bin/helper" << 0644 << 0755 << true << "kept" << 0755 << "";
    QTest::newRow("packed plain file becoming an executable")
        << "bin/helper.txt" << 0644 << 0755 << true << "kept" << 0755 << "";
    QTest::newRow("executable becoming a plain file, no record")
        << "bin/helper" << 0755 << 0644 << false << "dropped" << 0755 << "";
    QTest::newRow("new executable, no record")
        << "browser/vulkantest" << -1 << 0755 << false << "dropped" << 0644 << "";
    QTest::newRow("record naming an unlisted file")
        << "browser/vulkantest" << -1 << 0755 << false << "names browser/ghost" << 0755
        << "marks browser/ghost executable but does not list it";
}

void TestUpdateRun::executableModes()
{
    QFETCH(QString, path);
    QFETCH(int, oldMode);
    QFETCH(int, newMode);
    QFETCH(bool, sameContent);
    QFETCH(QString, record);
    QFETCH(int, installedMode);
    QFETCH(QString, logged);

    const auto publishWith = [&](int version, int mode, const QByteArray& content) {
        Tree tree = version == 1 ? versionOne() : versionTwo();
        if (mode >= 0)
            tree[path] = content;
        const QString source = fixture->work.filePath(QStringLiteral("source-%1").arg(version));
        QString error;
        const bool ok = ReleaseFixture::writeTree(source, tree)
            && (mode < 0
                || QFile::setPermissions(
                    QDir(source).filePath(path), QFile::Permissions(mode == 0755 ? 0x7755 : 0x6644)))
            && ReleaseFixture::publish(source, mirrorRoot, version, packed, QString(), &error);
        return ok ? QString() : QStringLiteral("publishing failed: ") + error;
    };
    const QString one = publishWith(1, oldMode, "#!/bin/sh\n");
    QVERIFY2(one.isEmpty(), qPrintable(one));
    QCOMPARE(runUpdate(1).state, Finished);
    const QString two = publishWith(2, newMode, sameContent ? "#!/bin/sh\n" : "#!/bin/sh\necho 2\n");
    QVERIFY2(two.isEmpty(), qPrintable(two));
    QByteArray ini = FileTree::read(ReleaseFixture::productIniPath(mirrorRoot, 2));
    const QRegularExpression recordLine(QStringLiteral("\\.voxmeadow-release\\\\executables=[^\\n]*\\n"));
    QVERIFY(QString::fromUtf8(ini).contains(recordLine));
    if (record == "dropped")
        ini = QString::fromUtf8(ini).remove(recordLine).toUtf8();
    else if (record != "kept")
        ini.replace("\\executables=", "\\executables=browser/ghost, ");
    QVERIFY(ReleaseFixture::replaceProductIni(mirrorRoot, 2, ini));

    const RunResult run = runUpdate(2);
    QCOMPARE(run.state, Finished);
    struct stat info;
    QCOMPARE(::stat(QFile::encodeName(QDir(install).filePath(path)).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 07777), installedMode);
    // The programs of version 1 keep running whatever the row does.
    QCOMPARE(
        ::stat(QFile::encodeName(QDir(install).filePath("vx3client_runscript.sh")).constData(), &info), 0);
    QCOMPARE(int(info.st_mode & 07777), 0755);
    QVERIFY2(logged.isEmpty() || !run.messages.filter(logged).isEmpty(), qPrintable(run.messages.join('\n')));
    // Only the bits differ: fixed from the installed content, nothing fetched.
    if (sameContent)
        QVERIFY2(fileRequests(run.requests).filter(path).isEmpty(), qPrintable(run.requests.join('\n')));
}

void TestUpdateRun::releaseTrust_data()
{
    // What happens to the published manifest of version 1: its header is
    // changed or its signature lines replaced before it is written back.
    QTest::addColumn<QString>("change");
    // The signers, by demo key number (0: a key not built in); the second
    // key's also as revoked.
    QTest::addColumn<QList<int>>("signers");
    QTest::addColumn<bool>("secondRevoked");
    QTest::addColumn<int>("legacyBelow");
    QTest::addColumn<bool>("installs");
    QTest::addColumn<QString>("logged");

    const QList<int> both { 1, 2 };
    const QString refused
        = QStringLiteral("Release manifest of client_linux_amd64 version 1 %1; refusing the release");
    QTest::newRow("both keys") << "" << both << false << 0 << true << "";
    QTest::newRow("one key of two") << "" << QList<int> { 2 } << false << 0 << false
                                    << refused.arg(
                                           "has 1 valid signatures of release keys where 2 are needed");
    QTest::newRow("a key not built in beside one that is")
        << "" << QList<int> { 1, 0 } << false << 0 << false
        << refused.arg("has 1 valid signatures of release keys where 2 are needed");
    QTest::newRow("one key signing twice")
        << "" << QList<int> { 1, 1 } << false << 0 << false
        << refused.arg("has 1 valid signatures of release keys where 2 are needed");
    QTest::newRow("a revoked key") << "" << both << true << 0 << false
                                   << refused.arg(
                                          "has 1 valid signatures of release keys where 2 are needed");
    QTest::newRow("tampered body") << "tamper" << both << false << 0 << false
                                   << refused.arg(
                                          "has 0 valid signatures of release keys where 2 are needed");
    QTest::newRow("another version") << "version 2" << both << false << 0 << false
                                     << refused.arg("names client_linux_amd64 version 2");
    QTest::newRow("another type") << "type client_linux_i386" << both << false << 0 << false
                                  << refused.arg("names client_linux_i386 version 1");
    QTest::newRow("another ini") << "ini digest" << both << false << 0 << false
                                 << refused.arg("does not vouch for this product ini");
    QTest::newRow("missing") << "remove" << both << false << 0 << false << refused.arg("is missing");
    QTest::newRow("missing, at the legacy floor")
        << "remove" << both << false << 1 << false << refused.arg("is missing");
    QTest::newRow("tampered, below the legacy floor")
        << "tamper" << both << false << 2 << false
        << refused.arg("has 0 valid signatures of release keys where 2 are needed");
    QTest::newRow("missing, below the legacy floor")
        << "remove" << both << false << 2 << true
        << "has no release manifest; accepted by its product ini's signature";
    // A signed ini without its type and version, as other tools made them.
    const QString unbound
        = QStringLiteral("Product ini records no release type and version (an unbound release); %1");
    QTest::newRow("unbound, below the legacy floor")
        << "unbind" << both << false << 2 << true << unbound.arg("accepted below version 2");
    QTest::newRow("unbound, at the legacy floor")
        << "unbind" << both << false << 1 << false
        << unbound.arg("refusing it for client_linux_amd64 version 1");
    QTest::newRow("unbound, no legacy floor") << "unbind" << both << false << 0 << false
                                              << unbound.arg("refusing it for client_linux_amd64 version 1");
    // Signed, but not the ini's files as the ini lists them.
    const QString mismatch = QStringLiteral("Release manifest does not match the product ini at %1");
    QTest::newRow("a file left out") << "drop data/twin.bin" << both << false << 0 << false
                                     << mismatch.arg("files/data/twin.bin");
    QTest::newRow("a file too many") << "add data/extra.bin" << both << false << 0 << false
                                     << mismatch.arg("files/data/twin.bin");
    QTest::newRow("a size one byte off")
        << "grow data/twin.bin" << both << false << 0 << false << mismatch.arg("files/data/twin.bin");
    QTest::newRow("an MD5 twin on the mirrors")
        << "twin" << both << false << 0 << false << "sha-256 sum for data/twin.bin failed";
}

void TestUpdateRun::releaseTrust()
{
    QFETCH(QString, change);
    QFETCH(QList<int>, signers);
    QFETCH(bool, secondRevoked);
    QFETCH(int, legacyBelow);
    QFETCH(bool, installs);
    QFETCH(QString, logged);

    Tree tree = versionOne();
    tree["data/twin.bin"] = md5Twin1;
    const QString source = publishTree(1, tree);
    QVERIFY(!source.isEmpty());
    const QString manifestPath = QDir(mirrorRoot).filePath("1/" + ReleaseManifest::fileName(updateType));
    if (change == "twin")
        QVERIFY(FileTree::write(QDir(mirrorRoot).filePath("1/files/data/twin.bin"), md5Twin2));
    QVERIFY(ReleaseFixture::editManifest(
        mirrorRoot, 1, updateType,
        [&change](ReleaseManifest::Header* header, QList<ReleaseManifest::File>* files) {
            if (change.startsWith("version "))
                header->binding.version = change.section(' ', 1).toInt();
            else if (change.startsWith("type "))
                header->binding.updateType = change.section(' ', 1);
            else if (change == "ini digest")
                header->iniSha256
                    = ContentSum::fromDigest(QByteArray(32, 'x'), ContentSum::Algorithm::Sha256);
            const QString key = change.section(' ', 1);
            for (qsizetype i = 0; i < files->size(); ++i) {
                if ((*files)[i].key != "data/twin.bin")
                    continue;
                if (change.startsWith("drop "))
                    files->removeAt(i);
                else if (change.startsWith("grow "))
                    ++(*files)[i].size;
                else if (change.startsWith("add ")) {
                    ReleaseManifest::File extra = files->at(i);
                    extra.key = key;
                    files->insert(i, extra);
                }
                break;
            }
        },
        signers));
    if (change == "tamper") {
        QByteArray text = FileTree::read(manifestPath);
        const qsizetype at = text.indexOf("\tdata/twin.bin\t") + 16;
        text[at] = text.at(at) == '0' ? '1' : '0';
        QVERIFY(FileTree::write(manifestPath, text));
    } else if (change == "remove") {
        QVERIFY(QFile::remove(manifestPath));
    } else if (change == "unbind") {
        const QString ini = ReleaseFixture::productIniPath(mirrorRoot, 1);
        QByteArray text = FileTree::read(ini);
        // As the release tool writes it: an ini key's separators are backslashes.
        const QByteArray binding = ProductIniLine::bindingKey({ updateType, 1 }).replace('/', '\\').toUtf8();
        QVERIFY(text.contains(binding + "=\n"));
        text.replace(binding + "=\n", "");
        QVERIFY(FileTree::write(ini, text) && DemoSigner::signFile(ini) && QFile::remove(manifestPath));
    }

    ReleaseTrust trust;
    trust.keys = { demoReleaseKey(1).publicKey(), demoReleaseKey(2).publicKey() };
    trust.threshold = 2;
    trust.legacyBelow = legacyBelow;
    if (secondRevoked) {
        // A third key keeps the threshold reachable on paper.
        trust.keys << Ed25519Key::generate().publicKey();
        trust.revoked = { demoReleaseKey(2).publicKey() };
    }
    const FileTree::Snapshot before = installationSnapshot();
    const RunResult run = runUpdate(1, 6, {}, &trust);

    QVERIFY2(logged.isEmpty() || !run.messages.filter(logged).isEmpty(), qPrintable(run.messages.join('\n')));
    if (installs) {
        QCOMPARE(run.state, Finished);
        QCOMPARE(installed(), ReleaseFixture::contents(source));
        return;
    }
    QCOMPARE(run.state, ErrorCanceled);
    const FileTree::Snapshot after = installationSnapshot();
    QVERIFY2(after == before, qPrintable(after.difference(before)));
}

void TestUpdateRun::keyRotation()
{
    const Ed25519Key a = demoReleaseKey(1);
    const Ed25519Key b = demoReleaseKey(2);
    const Ed25519Key c = Ed25519Key::generate();
    // The installed updaters need a and b; the one the bridge release
    // carries needs b and c, with a revoked.
    ReleaseTrust oldKeys;
    oldKeys.keys = { a.publicKey(), b.publicKey() };
    oldKeys.threshold = 2;
    ReleaseTrust newKeys;
    newKeys.keys = { b.publicKey(), c.publicKey() };
    newKeys.revoked = { a.publicKey() };
    newKeys.threshold = 2;

    // The bridge, signed by a and b, installs by the installed updater's set.
    QVERIFY(!publishTree(1, versionOne()).isEmpty());
    QCOMPARE(runUpdate(1, 6, {}, &oldKeys).state, Finished);
    // The next release, signed by b and c alone.
    const QString next = publishTree(2, versionTwo(), 1);
    QVERIFY(!next.isEmpty());
    QVERIFY(ReleaseFixture::editManifest(
        mirrorRoot, 2, updateType, [](ReleaseManifest::Header*, QList<ReleaseManifest::File>*) {}, { 2 }));
    ManifestCosigner cosigner(QDir(mirrorRoot).filePath("2"), updateType);
    QCOMPARE(cosigner.sign(c), ManifestCosigner::Result::Signed);

    // An updater that did not take the bridge refuses it and says why.
    const FileTree::Snapshot before = installationSnapshot();
    const RunResult old = runUpdate(2, 6, {}, &oldKeys);
    QCOMPARE(old.state, ErrorCanceled);
    QVERIFY2(
        old.messages.contains("Release manifest of client_linux_amd64 version 2 is also signed by 1 key it "
                              "does not know: the release may be signed for a newer set of release keys "
                              "than this updater's; it needs a bridge release signed by 2 of its own keys "
                              "that installs a newer updater"),
        qPrintable(old.messages.join('\n')));
    QVERIFY(installationSnapshot() == before);
    // The updater the bridge carried installs it.
    QCOMPARE(runUpdate(2, 6, {}, &newKeys).state, Finished);
    QCOMPARE(installed(), ReleaseFixture::contents(next));
}

void TestUpdateRun::directoryModes_data()
{
    QTest::addColumn<int>("mask");

    QTest::newRow("umask 000") << 0;
    QTest::newRow("umask 022") << 022;
    QTest::newRow("umask 077") << 077;
}

void TestUpdateRun::directoryModes()
{
    QFETCH(int, mask);

    QVERIFY(!publishTree(1, versionOne()).isEmpty());
    const QString source = fixture->work.filePath("source-2");
    QString error;
    // With patches, whose downloads and results get directories of their own.
    QVERIFY2(ReleaseFixture::writeTree(source, versionTwo())
            && ReleaseFixture::publish(source, mirrorRoot, 2, packed,
                ReleaseFixture::productIniPath(mirrorRoot, 1), &error, { QDir(mirrorRoot).filePath("1") }),
        qPrintable(error));
    // Every directory the runs made below the installation and the
    // temporary directory that is not 0755.
    QStringList wrong;
    const auto inspect = [&] {
        for (const QString& root : { install, temp }) {
            QDirIterator it(
                root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                struct stat info;
                const QString path = it.next();
                if (::lstat(QFile::encodeName(path).constData(), &info) == 0
                    && (info.st_mode & 07777) != 0755)
                    wrong << QStringLiteral("%1 %2").arg(path).arg(info.st_mode & 07777, 0, 8);
            }
        }
    };
    struct UmaskGuard
    {
        mode_t previous;
        ~UmaskGuard() { ::umask(previous); }
    } guard { ::umask(mode_t(mask)) };

    QCOMPARE(runUpdate(1).state, Finished);
    inspect();
    // "old" is there only until the deletions.
    bool oldSeen = false;
    const RunResult run = runUpdate(2, 6, [&](MainTaskSpecification* task) {
        connect(
            task->findChild<FileReplaceListTaskSpecification*>(), &TaskSpecification::finished, task, [&] {
                oldSeen = QFileInfo(QDir(install).filePath("old")).isDir();
                inspect();
            });
    });
    QCOMPARE(run.state, Finished);
    QVERIFY(oldSeen);
    QVERIFY(!run.messages.filter("as a patch").isEmpty());
    QCOMPARE(wrong, QStringList());
}

void TestUpdateRun::plantedLinksAreNeverFollowed_data()
{
    // What lies at a name below the installation before the update from
    // version 1 to 2: a link to a file or to a directory outside, a plain
    // file, or the player's link to where "data" was moved.
    QTest::addColumn<QString>("planted");
    QTest::addColumn<QString>("kind");

    QTest::newRow("digest cache temporary") << ".voxmeadow-new-update.digests"
                                            << "file link";
    QTest::newRow("update.ini copy") << ".voxmeadow-new-update.ini"
                                     << "file link";
    QTest::newRow("new name of an installed file") << "docs/.voxmeadow-new-readme.txt"
                                                   << "file link";
    QTest::newRow("old, a link to a directory") << "old"
                                                << "directory link";
    QTest::newRow("old, a plain file") << "old"
                                       << "file";
    // The one link that is followed: the player's own, which stays.
    QTest::newRow("data directory moved to another disk") << "data"
                                                          << "moved";
}

void TestUpdateRun::plantedLinksAreNeverFollowed()
{
    QFETCH(QString, planted);
    QFETCH(QString, kind);

    QVERIFY(!publishTree(1, versionOne()).isEmpty());
    const QString source = publishTree(2, versionTwo(), 1);
    QVERIFY(!source.isEmpty());
    QCOMPARE(runUpdate(1).state, Finished);
    QVERIFY(QDir(temp).removeRecursively() && QDir().mkpath(temp));
    // Outside the installation: a file, and a directory holding names that
    // the update gives old copies.
    const QDir outside(fixture->work.filePath("outside"));
    QVERIFY(FileTree::write(outside.filePath("victim"), "victim"));
    for (const char* name : { "_old_readme.txt", "_old_vx3client_linux_amd64", "_old_update" })
        QVERIFY(FileTree::write(outside.filePath(QStringLiteral("dir/") + name), "precious"));
    const QString at = QDir(install).filePath(planted);
    const QString moved = fixture->work.filePath("disk/data");
    if (kind == "file link")
        QVERIFY(QFile::link(outside.filePath("victim"), at));
    else if (kind == "directory link")
        QVERIFY(QFile::link(outside.filePath("dir"), at));
    else if (kind == "file")
        QVERIFY(FileTree::write(at, "not a directory"));
    else
        QVERIFY(QDir().mkpath(QFileInfo(moved).path()) && QDir().rename(at, moved) && QFile::link(moved, at));
    const FileTree::Snapshot before = FileTree::snapshot(outside.path());

    const RunResult run = runUpdate(2);
    // The session record goes into update.ini as a run's engine writes it.
    const InstallationLayout layout(install, temp);
    QVERIFY(UpdateIniData::modify(layout, 2, temp, updateType));
    UpdateIniData::cleanup(layout);

    QCOMPARE(run.state, Finished);
    const FileTree::Snapshot after = FileTree::snapshot(outside.path());
    QVERIFY2(after == before, qPrintable(after.difference(before)));
    QMap<QString, QString> expected = ReleaseFixture::contents(source);
    if (kind == "moved") {
        QVERIFY(QFileInfo(at).isSymLink());
        QMap<QString, QString> data;
        for (const QString& name : expected.keys().filter(QRegularExpression("^data/")))
            data.insert(name.mid(5), expected.take(name));
        QCOMPARE(ReleaseFixture::contents(moved), data);
    } else {
        QVERIFY(!QFileInfo(at).isSymLink());
    }
    QCOMPARE(ReleaseFixture::contents(install, { "mirrors.ini", "update.ini", DigestCache::fileName() }),
        expected);
    QVERIFY(!QFileInfo::exists(QDir(install).filePath("old")));
}

void TestUpdateRun::failedDeletionIsNoCleanSuccess_data()
{
    // A path below the installation that the update from version 1 to 2
    // deletes, and what becomes of it before the run or once the files are
    // installed: a directory in its place, which cannot be unlinked, or gone.
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("warned");

    QTest::newRow("a file the release deletes") << "data/sounds/c.ogg"
                                                << "directory before" << int(ErrorCanceled) << true;
    QTest::newRow("a file the release deletes, gone meanwhile")
        << "data/sounds/c.ogg"
        << "gone once installed" << int(Finished) << false;
    // Not a file of the release: the run is complete, the next one sweeps it.
    QTest::newRow("an old copy") << "old/_old_readme.txt"
                                 << "directory once installed" << int(Finished) << true;
}

void TestUpdateRun::failedDeletionIsNoCleanSuccess()
{
    QFETCH(QString, path);
    QFETCH(QString, change);
    QFETCH(int, state);
    QFETCH(bool, warned);

    QVERIFY(!publishTree(1, versionOne()).isEmpty());
    const QString source = publishTree(2, versionTwo(), 1);
    QVERIFY(!source.isEmpty());
    QCOMPARE(runUpdate(1).state, Finished);
    const QString at = QDir(install).filePath(path);
    const auto apply = [&] {
        QFile::remove(at);
        if (change.startsWith("directory"))
            FileTree::write(QDir(at).filePath("inside"), "x");
    };
    if (change.endsWith("before"))
        apply();

    const RunResult run = runUpdate(2, 6, [&](MainTaskSpecification* task) {
        connect(
            task->findChild<FileReplaceListTaskSpecification*>(), &TaskSpecification::finished, task, [&] {
                if (change.endsWith("once installed"))
                    apply();
            });
    });

    QCOMPARE(int(run.state), state);
    const QStringList warnings
        = run.messages.filter(QStringLiteral("Warning: could not delete '%1': ").arg(at));
    QCOMPARE(warnings.size(), warned ? 1 : 0);
    // Installed, whatever the deletions did.
    QMap<QString, QString> installedNow = installed();
    installedNow.remove(path + "/inside");
    QCOMPARE(installedNow, ReleaseFixture::contents(source));
    if (state == Finished)
        return;
    QVERIFY(run.messages.contains(
        "1 files that this version no longer ships could not be deleted; the next run deletes them"));
    // Still there, but deletable now: the next run completes the update.
    QVERIFY(QDir(at).removeRecursively() && FileTree::write(at, "c"));
    QCOMPARE(runUpdate(2).state, Finished);
    QVERIFY(!QFileInfo::exists(at));
    QCOMPARE(installed(), ReleaseFixture::contents(source));
}

QTEST_GUILESS_MAIN(TestUpdateRun)
#include "tst_updaterun.moc"
