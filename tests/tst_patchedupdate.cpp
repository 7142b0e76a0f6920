#include "demosigner.h"
#include "fileops/patchapplyfunc.h"
#include "filetree.h"
#include "manifest/releasemarker.h"
#include "manifest/contenthasher.h"
#include "installfixture.h"
#include "manifest/patchindex.h"
#include "patchmaker.h"
#include "releasefixture.h"
#include "transfer/mirrors.h"
#include "transfer/transferengine.h"
#include "update/digestcache.h"
#include "update/maintaskspecification.h"
#include "verify/cryptwrapper.h"

#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>
#include <zstd.h>

using ReleaseFixture::Tree;

namespace {

const QString updateType = QStringLiteral("client_linux_amd64");
const QString plainKey = QStringLiteral("data/pack.bin");
const QString packedKey = QStringLiteral("lib/libvx.so.gz");

Tree versionOne()
{
    return {
        { "data/pack.bin", ReleaseFixture::bytes(400000, 1) },
        { "lib/libvx.so", ReleaseFixture::bytes(120000, 2) },
        { "docs/readme.txt", QByteArray("Read me.\n").repeated(300) },
    };
}

// A little changed inside, and shifted: what patches are for.
Tree versionTwo()
{
    Tree tree = versionOne();
    tree["data/pack.bin"].replace(1000, 64, ReleaseFixture::bytes(64, 11)).insert(200000, "inserted");
    tree["lib/libvx.so"].remove(5000, 100).replace(60000, 32, ReleaseFixture::bytes(32, 12));
    return tree;
}

enum class Fault {
    None,
    NoIndex,
    UnsignedIndex,
    ForeignSignature,
    UnnamedIndex,
    OtherIndex,
    OtherVersion,
    UnlistedKey,
    EscapingPath,
    PatchMissing,
    PatchCorrupted,
    PatchTruncated,
    OtherBase,
    Bomb,
    WrongContent,
    InstalledChanged,
    TrailingFrame,
    InstalledRewritten,
    OtherInstalled,
    EscapingKey,
};

} // namespace

class TestPatchedUpdate : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void patchOrWholeFile_data();
    void patchOrWholeFile();
    void largeFileStaysOutOfPrivateMemory();

private:
    QString releasePath(const QString& relative) const
    {
        return QDir(fixture->mirrorRoot).filePath(QStringLiteral("2/") + relative);
    }
    QByteArray makePatch(const QByteArray& base, const QByteArray& result);
    // Writes and signs the index; the manifest names it too unless `unnamed`.
    bool writeIndex(const PatchIndex& index, bool unnamed = false);
    TaskState runUpdate(
        int version, QStringList* messages, QStringList* requests, RunSummary* summary = nullptr);

    std::unique_ptr<InstallFixture> fixture;
};

void TestPatchedUpdate::initTestCase()
{
    SKIP_UNLESS_DEMO_KEY();
    crypt_init();
}

QByteArray TestPatchedUpdate::makePatch(const QByteArray& base, const QByteArray& result)
{
    const QString basePath = fixture->work.filePath("base");
    const QString resultPath = fixture->work.filePath("result");
    const QString patchPath = fixture->work.filePath("patch");
    QFile::remove(patchPath);
    FileDigest digest;
    QString error;
    if (!FileTree::write(basePath, base) || !FileTree::write(resultPath, result)
        || !PatchMaker::make(basePath, resultPath, patchPath, &digest, &error))
        qWarning() << error;
    return FileTree::read(patchPath);
}

bool TestPatchedUpdate::writeIndex(const PatchIndex& index, bool unnamed)
{
    const QString path = releasePath(PatchIndex::fileName(updateType));
    const QByteArray content = index.serialize();
    return FileTree::write(path, content) && DemoSigner::signFile(path)
        && (unnamed
            || ReleaseFixture::editManifest(fixture->mirrorRoot, 2, updateType,
                [&content](ReleaseManifest::Header* header, QList<ReleaseManifest::File>*) {
                    header->patchesSha256
                        = ContentSum::fromDigest(ContentHasher::hash(content, ContentSum::Algorithm::Sha256),
                            ContentSum::Algorithm::Sha256);
                    header->patchesSize = content.size();
                }));
}

TaskState TestPatchedUpdate::runUpdate(
    int version, QStringList* messages, QStringList* requests, RunSummary* summary)
{
    TransferEngine transfers;
    Mirrors mirrors;
    mirrors.initDefault(QDir(fixture->install).filePath("mirrors.ini"), version);
    const int before = fixture->server.requestCount();
    MainTaskSpecification task(
        DownloadContext { &transfers, &mirrors, InstallationLayout(fixture->install, fixture->tmp) },
        updateType, version, 6, nullptr, 1.0);
    QSignalSpy ended(&task, &TaskSpecification::finished);
    QSignalSpy canceled(&task, &TaskSpecification::canceled);
    QSignalSpy logged(&task, &TaskSpecification::message);
    task.execute();
    const bool done = QTest::qWaitFor([&] { return ended.count() + canceled.count() > 0; }, 60000);
    for (const QList<QVariant>& arguments : std::as_const(logged))
        *messages << arguments.at(0).toString();
    if (!done) {
        qWarning().noquote() << messages->join('\n');
        return Idle;
    }
    for (const QByteArray& path : fixture->server.requestedPaths().mid(before))
        *requests << QString::fromLatin1(path).section(QLatin1Char('/'), 2);
    if (summary)
        *summary = task.summary();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return task.state;
}

void TestPatchedUpdate::patchOrWholeFile_data()
{
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QStringList>("whole"); // keys fetched whole
    QTest::addColumn<QString>("logged");

    const QStringList both { plainKey, packedKey };
    const QStringList plain { plainKey };
    QTest::newRow("patched") << Fault::None << QStringList() << "2 files come as patches";
    QTest::newRow("no index") << Fault::NoIndex << both
                              << "No patch index for this release (no mirror has it)";
    QTest::newRow("index without signature")
        << Fault::UnsignedIndex << both << "No patch index for this release";
    QTest::newRow("index with another signature")
        << Fault::ForeignSignature << both << "Patch index does not verify";
    // Not even asked for: the manifest says there is none.
    QTest::newRow("manifest naming no index") << Fault::UnnamedIndex << both << "Downloading files";
    QTest::newRow("index other than the manifest names")
        << Fault::OtherIndex << both << "Patch index is not the one the release manifest names";
    QTest::newRow("index for another version")
        << Fault::OtherVersion << both << "Patch index was released for client_linux_amd64 version 3";
    QTest::newRow("index lists a file the product ini lacks")
        << Fault::UnlistedKey << QStringList()
        << "Patch index lists data/gone.bin, which the product ini does not";
    QTest::newRow("key leaves the installation")
        << Fault::EscapingKey << QStringList() << "the key ../pack.bin leaves the installation";
    QTest::newRow("patch path leaves the release")
        << Fault::EscapingPath << plain
        << "the patch path ../1/files/data/pack.bin leaves the release directory";
    QTest::newRow("patch on no mirror") << Fault::PatchMissing << plain << "not used: no mirror has it";
    QTest::newRow("patch corrupted") << Fault::PatchCorrupted << plain
                                     << "another SHA-256 sum than the index lists";
    QTest::newRow("patch truncated") << Fault::PatchTruncated << plain << "Patch for data/pack.bin not used";
    QTest::newRow("patch made from another content")
        << Fault::OtherBase << plain << "the patched content has the SHA-256 sum";
    QTest::newRow("patch gives more than listed")
        << Fault::Bomb << plain << "the patch does not declare the 400008 bytes listed";
    QTest::newRow("patch gives the right size and wrong content")
        << Fault::WrongContent << plain << "the patched content has the SHA-256 sum";
    QTest::newRow("installed file changed after the comparison")
        << Fault::InstalledChanged << plain << "data/pack.bin changed since the update compared it";
    QTest::newRow("patch followed by an empty frame")
        << Fault::TrailingFrame << plain << "the patch is not one complete zstd frame";
    QTest::newRow("installed file rewritten at its length after the comparison")
        << Fault::InstalledRewritten << plain << "data/pack.bin changed since the update compared it";
    QTest::newRow("installed file of the base's length, other content")
        << Fault::OtherInstalled << plain << "1 files come as patches";
}

void TestPatchedUpdate::patchOrWholeFile()
{
    QFETCH(Fault, fault);
    QFETCH(QStringList, whole);
    QFETCH(QString, logged);

    // One at a time: each keeps the process's TMPDIR while it lives.
    fixture.reset();
    fixture = std::make_unique<InstallFixture>(QStringList { "m1", "m2" });
    QVERIFY(fixture->isValid() && fixture->writeMirrorsIni());
    const QString one = fixture->work.filePath("one");
    const QString two = fixture->work.filePath("two");
    QVERIFY(ReleaseFixture::writeTree(one, versionOne()) && ReleaseFixture::writeTree(two, versionTwo()));
    QVERIFY(ReleaseFixture::publish(one, fixture->mirrorRoot, 1, { "*.so" }));
    QVERIFY(ReleaseFixture::publish(
        two, fixture->mirrorRoot, 2, { "*.so" }, QString(), nullptr, { fixture->mirrorRoot + "/1" }));
    QStringList messages;
    QStringList requests;
    QCOMPARE(runUpdate(1, &messages, &requests), Finished);
    QVERIFY(QDir(fixture->tmp).removeRecursively() && QDir().mkpath(fixture->tmp));

    PatchIndex index;
    QStringList problems;
    QVERIFY(index.parse(FileTree::read(releasePath(PatchIndex::fileName(updateType))), &problems));
    QCOMPARE(index.entries.size(), 2);
    PatchIndex::Entry& patch = index.entries.first();
    QCOMPARE(patch.key, plainKey);
    const QString patchFile = releasePath(patch.path);
    const QByteArray base = versionOne()["data/pack.bin"];
    const QByteArray result = versionTwo()["data/pack.bin"];
    // A patch that passes its own check: the index lists what is served.
    const auto replacePatch = [&](const QByteArray& content) {
        QVERIFY(FileTree::write(patchFile, content));
        patch.md5 = QString::fromLatin1(ContentHasher::hash(content, index.algorithm).toHex());
        patch.size = content.size();
    };
    QByteArray changed = result;
    switch (fault) {
    case Fault::None:
    case Fault::NoIndex:
    case Fault::UnsignedIndex:
    case Fault::ForeignSignature: break;
    case Fault::UnnamedIndex:
        QVERIFY(ReleaseFixture::editManifest(fixture->mirrorRoot, 2, updateType,
            [](ReleaseManifest::Header* header, QList<ReleaseManifest::File>*) {
                header->patchesSha256 = ContentSum();
            }));
        break;
    case Fault::OtherIndex: index.entries.removeLast(); break;
    case Fault::OtherVersion: index.binding.version = 3; break;
    case Fault::UnlistedKey: {
        PatchIndex::Entry unlisted = patch;
        unlisted.key = QStringLiteral("data/gone.bin");
        index.entries << unlisted;
        break;
    }
    case Fault::EscapingKey: {
        PatchIndex::Entry escaping = patch;
        escaping.key = QStringLiteral("../pack.bin");
        index.entries << escaping;
        break;
    }
    case Fault::EscapingPath: patch.path = QStringLiteral("../1/files/data/pack.bin"); break;
    case Fault::PatchMissing: QVERIFY(QFile::remove(patchFile)); break;
    case Fault::PatchCorrupted: {
        QByteArray damaged = makePatch(base, result);
        damaged[damaged.size() / 2] = char(damaged[damaged.size() / 2] ^ 0x5a);
        QVERIFY(FileTree::write(patchFile, damaged));
        break;
    }
    case Fault::PatchTruncated: QVERIFY(QFile::resize(patchFile, patch.size / 2)); break;
    case Fault::OtherBase: {
        QByteArray other = base;
        replacePatch(makePatch(other.replace(0, 100000, ReleaseFixture::bytes(100000, 99)), result));
        break;
    }
    case Fault::Bomb: replacePatch(makePatch(base, result + result)); break;
    case Fault::WrongContent:
        changed[7] = char(changed[7] ^ 1);
        replacePatch(makePatch(base, changed));
        break;
    case Fault::InstalledChanged:
        fixture->intercept = [&](const QString& path, HttpTestServer::Response response) {
            // The comparison is over once the patch is asked for.
            if (path.endsWith(QLatin1String("pack.bin.patch")))
                FileTree::write(QDir(fixture->install).filePath("data/pack.bin"), base + "x");
            return response;
        };
        break;
    case Fault::InstalledRewritten:
        // In place and at its length: only the stamp's times tell.
        changed = base;
        changed[0] = char(changed[0] ^ 1);
        fixture->intercept = [&](const QString& path, HttpTestServer::Response response) {
            if (path.endsWith(QLatin1String("pack.bin.patch")))
                FileTree::write(QDir(fixture->install).filePath("data/pack.bin"), changed);
            return response;
        };
        break;
    case Fault::OtherInstalled:
        changed = base;
        changed[0] = char(changed[0] ^ 1);
        QVERIFY(FileTree::write(QDir(fixture->install).filePath("data/pack.bin"), changed));
        break;
    case Fault::TrailingFrame: {
        // Decodes to nothing: the whole would still give the listed bytes.
        QByteArray empty(int(ZSTD_compressBound(0)), '\0');
        const size_t emptySize = ZSTD_compress(empty.data(), size_t(empty.size()), "", 0, 1);
        QVERIFY(!ZSTD_isError(emptySize));
        replacePatch(makePatch(base, result) + empty.left(qsizetype(emptySize)));
        break;
    }
    }
    const QString indexPath = releasePath(PatchIndex::fileName(updateType));
    if (fault == Fault::NoIndex)
        QVERIFY(QFile::remove(indexPath));
    else if (fault == Fault::UnnamedIndex || fault == Fault::OtherIndex)
        QVERIFY(writeIndex(index, true));
    else
        QVERIFY(writeIndex(index));
    if (fault == Fault::UnsignedIndex)
        QVERIFY(QFile::remove(indexPath + ".sig"));
    if (fault == Fault::ForeignSignature)
        QVERIFY(FileTree::write(indexPath + ".sig", DemoSigner::sign("another index")));

    messages.clear();
    requests.clear();
    RunSummary summary;
    QCOMPARE(runUpdate(2, &messages, &requests, &summary), Finished);
    QCOMPARE(ReleaseFixture::contents(fixture->install, { "mirrors.ini", DigestCache::fileName() }),
        ReleaseFixture::contents(two));
    QCOMPARE(requests.filter(PatchIndex::fileName(updateType)).isEmpty(), fault == Fault::UnnamedIndex);
    // A patch for another content than the installed one is not even fetched.
    if (fault == Fault::None || fault == Fault::OtherInstalled)
        QCOMPARE(requests.contains("2/" + patch.path), fault == Fault::None);
    QVERIFY2(!messages.filter(logged).isEmpty(), qPrintable(messages.join('\n')));
    for (const QString& key : { plainKey, packedKey }) {
        const QString section = key == packedKey ? "libs/" : "files/";
        QCOMPARE(requests.contains("2/" + section + key), whole.contains(key));
    }
    QCOMPARE(messages.filter("came as a patch").size(), 2 - int(whole.size()));
    // The summary counts what came, not what the lists planned: a patch
    // given up counts its file whole, and once as a fall-back.
    static const QList<Fault> givenUp { Fault::PatchMissing, Fault::PatchCorrupted, Fault::PatchTruncated,
        Fault::OtherBase, Fault::Bomb, Fault::WrongContent, Fault::InstalledChanged, Fault::TrailingFrame,
        Fault::InstalledRewritten };
    qint64 wholeBytes = 0;
    qint64 patchBytes = 0;
    for (const QString& key : { plainKey, packedKey }) {
        if (whole.contains(key)) {
            wholeBytes += QFileInfo(releasePath(key == packedKey ? "libs/" + key : "files/" + key)).size();
            continue;
        }
        for (const PatchIndex::Entry& entry : std::as_const(index.entries))
            patchBytes += entry.key == key ? entry.size : 0;
    }
    // The release marker names the version, so it always comes whole.
    const qint64 markerBytes = QFileInfo(releasePath("files/" + ReleaseMarker::fileName())).size();
    QVERIFY(markerBytes > 0);
    QCOMPARE(summary.filesFetched, qint64(whole.size()) + 1);
    QCOMPARE(summary.bytesFetched, wholeBytes + markerBytes);
    QCOMPARE(summary.filesPatched, qint64(2 - whole.size()));
    QCOMPARE(summary.patchBytes, patchBytes);
    QCOMPARE(summary.patchFallbacks, qint64(givenUp.contains(fault) ? 1 : 0));
    QCOMPARE(messages.filter("Compiling download and replace list").size(), 1);
    // Each mirror that lacks the patch says so once, by name.
    if (fault == Fault::PatchMissing) {
        for (const char* mirror : { "m1", "m2" })
            QCOMPARE(
                messages
                    .filter(
                        QStringLiteral("Mirror %1 does not have %2 (").arg(QLatin1String(mirror), patch.path))
                    .size(),
                1);
    }
}

void TestPatchedUpdate::largeFileStaysOutOfPrivateMemory()
{
    constexpr qint64 size = 192 * 1024 * 1024;
    constexpr rlim_t allowance = 64 * 1024 * 1024;
    fixture.reset();
    fixture = std::make_unique<InstallFixture>(QStringList { "m1" });
    const QString base = fixture->work.filePath("base");
    const QString result = fixture->work.filePath("result");
    const QString patch = fixture->work.filePath("patch");
    {
        QFile one(base);
        QFile two(result);
        QVERIFY(one.open(QIODevice::WriteOnly) && two.open(QIODevice::WriteOnly));
        for (int block = 0; block < size / (1 << 20); ++block) {
            const QByteArray content = ReleaseFixture::bytes(1 << 20, quint32(block % 7));
            QCOMPARE(one.write(content), content.size());
            QCOMPARE(two.write(block == 100 ? ReleaseFixture::bytes(1 << 20, 100) : content), content.size());
        }
    }
    FileDigest made;
    QString error;
    QVERIFY2(PatchMaker::make(base, result, patch, &made, &error), qPrintable(error));

    FilePatchSpecification specification;
    specification.basePath = "base";
    QVERIFY(FileStamp::of(base, specification.baseStamp));
    specification.resultMd5 = ContentSum::fromText(FileTree::md5Hex(FileTree::read(result)));
    specification.resultSize = size;
    const QString applied = fixture->work.filePath("applied");
    PatchApplyFunc apply(specification, base, patch, applied);
    // Private allocations beyond the allowance fail while the patch is
    // applied; the mapped files do not count.
    rlimit saved {};
    QCOMPARE(::getrlimit(RLIMIT_DATA, &saved), 0);
    QFile status("/proc/self/status");
    QVERIFY(status.open(QIODevice::ReadOnly));
    const QString text = QString::fromLatin1(status.readAll());
    const rlim_t data = text.section("VmData:", 1).simplified().section(' ', 0, 0).toULongLong() * 1024;
    QVERIFY(data > 0);
    rlimit limited = saved;
    limited.rlim_cur = qMin<rlim_t>(saved.rlim_max, data + allowance);
    QCOMPARE(::setrlimit(RLIMIT_DATA, &limited), 0);
    const bool ok = apply.run();
    ::setrlimit(RLIMIT_DATA, &saved);
    QVERIFY(ok);
    QCOMPARE(FileTree::md5Hex(FileTree::read(applied)), specification.resultMd5.toString());
}

QTEST_GUILESS_MAIN(TestPatchedUpdate)
#include "tst_patchedupdate.moc"
