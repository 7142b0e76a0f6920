#include "fileops/filedeletelisttaskspecification.h"
#include "filetree.h"
#include "manifest/filespecifications.h"
#include "update/digestcache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray content = QByteArrayLiteral("sixteen bytes!!\n");
const QString md5 = FileTree::md5Hex(content);
constexpr qint64 Second = 1000000000;

} // namespace

class TestDigestCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void onlySettledStampsAreKept_data();
    void onlySettledStampsAreKept();
    void damagedCacheFileLoadsEmpty_data();
    void damagedCacheFileLoadsEmpty();
    void installedFilesEnterWithVerifiedDigests_data();
    void installedFilesEnterWithVerifiedDigests();

private:
    QScopedPointer<QTemporaryDir> dir;
    QString cachePath;
};

void TestDigestCache::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    cachePath = dir->filePath(DigestCache::fileName());
}

void TestDigestCache::onlySettledStampsAreKept_data()
{
    QTest::addColumn<qint64>("changedNs");
    QTest::addColumn<qint64>("modifiedNs");
    QTest::addColumn<qint64>("readAtNs");
    QTest::addColumn<QString>("md5");
    QTest::addColumn<bool>("kept");

    const qint64 t = 1700000000 * Second + 123456789;
    QTest::newRow("changed in the tick of reading") << t << t - Second << t << md5 << false;
    QTest::newRow("changed one tick earlier") << t - 1 << t - Second << t << md5 << true;
    QTest::newRow("modified in the tick of reading") << t - Second << t << t << md5 << false;
    QTest::newRow("modified in the future") << t - Second << t + Second << t << md5 << false;
    const qint64 whole = 1700000000 * Second;
    QTest::newRow("whole seconds, one second old") << whole << whole << whole + Second << md5 << false;
    QTest::newRow("whole seconds, two seconds old") << whole << whole << whole + 2 * Second << md5 << true;
    QTest::newRow("digest one digit short") << t - Second << t - Second << t << md5.left(31) << false;
    QTest::newRow("digest not hexadecimal")
        << t - Second << t - Second << t << QString(md5).replace(0, 1, 'g') << false;
    QTest::newRow("no digest (signature check)") << t - Second << t - Second << t << QString() << false;
}

void TestDigestCache::onlySettledStampsAreKept()
{
    QFETCH(qint64, changedNs);
    QFETCH(qint64, modifiedNs);
    QFETCH(qint64, readAtNs);
    QFETCH(QString, md5);
    QFETCH(bool, kept);

    DigestCache::Stamp stamp;
    stamp.inode = 7;
    stamp.size = 16;
    stamp.changedNs = changedNs;
    stamp.modifiedNs = modifiedNs;
    DigestCache cache(cachePath);
    // A stale entry for the path must not survive a refused one.
    cache.insert(QStringLiteral("a"), stamp, ContentSum::fromText(::md5), changedNs + 2 * Second);
    cache.insert(QStringLiteral("a"), stamp, ContentSum::fromText(md5), readAtNs);
    QCOMPARE(cache.digest(QStringLiteral("a"), stamp).toString(), kept ? md5.toLower() : QString());
}

void TestDigestCache::damagedCacheFileLoadsEmpty_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<bool>("loads");
    // Entries besides the one the rows look at.
    QTest::addColumn<int>("others");

    QTest::newRow("intact") << "none" << true << 0;
    QTest::newRow("killed run left a partial temporary file") << "partial" << true << 0;
    // Whatever the links point at stays as it is.
    QTest::newRow("temporary name is a link to a file") << "link" << true << 0;
    QTest::newRow("temporary name is a dangling link") << "dangling link" << true << 0;
    QTest::newRow("missing") << "missing" << false << 0;
    QTest::newRow("empty") << "empty" << false << 0;
    QTest::newRow("garbage") << "garbage" << false << 0;
    QTest::newRow("truncated by one byte") << "truncate" << false << 0;
    QTest::newRow("one payload byte flipped") << "flip" << false << 0;
    QTest::newRow("another format's header") << "magic" << false << 0;
    QTest::newRow("a directory") << "directory" << false << 0;
    // A cache keeps one algorithm: MD5 sums never stand in for SHA-256.
    QTest::newRow("SHA-256 digests") << "sha256" << true << 0;
    QTest::newRow("MD5 sums read for SHA-256") << "read as sha256" << false << 0;
    // A cache larger than the pieces its file is written in.
    QTest::newRow("intact, many entries") << "none" << true << 20000;
    QTest::newRow("one payload byte flipped, many entries") << "flip" << false << 20000;
}

void TestDigestCache::damagedCacheFileLoadsEmpty()
{
    QFETCH(QString, damage);
    QFETCH(bool, loads);
    QFETCH(int, others);

    DigestCache::Stamp stamp;
    stamp.inode = 7;
    const bool sha256 = damage == QLatin1String("sha256");
    const ContentSum::Algorithm written = sha256 ? ContentSum::Algorithm::Sha256 : ContentSum::Algorithm::Md5;
    const ContentSum sum
        = sha256 ? ContentSum::fromDigest(QByteArray(32, '\x42'), written) : ContentSum::fromText(md5);
    DigestCache cache(cachePath, written);
    cache.insert(QStringLiteral("a"), stamp, sum, 2 * Second);
    for (int i = 0; i < others; ++i) {
        cache.insert(QStringLiteral("dir/file%1").arg(i), stamp, sum, 2 * Second);
        cache.insert(QStringLiteral("gone/file%1").arg(i), stamp, sum, 2 * Second);
    }
    // Removed entries leave every other one within reach.
    for (int i = 0; i < others; ++i)
        cache.remove(QStringLiteral("gone/file%1").arg(i));
    QVERIFY(cache.save());
    QByteArray saved = FileTree::read(cachePath);
    const int middle = saved.size() / 2;
    if (damage == QLatin1String("partial")) {
        QVERIFY(FileTree::write(cache.temporaryPath(), saved.left(middle)));
        // The end of the next update clears it with the other new files a
        // killed run leaves.
        QVERIFY(FileDeleteListTaskSpecification::leftovers(dir->path())
                    .contains(QFileInfo(cache.temporaryPath()).fileName()));
    } else if (damage.endsWith(QLatin1String("link"))) {
        const QString target = dir->filePath(damage == QLatin1String("link") ? "victim" : "nowhere");
        if (damage == QLatin1String("link"))
            QVERIFY(FileTree::write(target, "victim"));
        QVERIFY(QFile::link(target, cache.temporaryPath()));
    } else if (damage == QLatin1String("missing"))
        QVERIFY(QFile::remove(cachePath));
    else if (damage == QLatin1String("empty"))
        QVERIFY(FileTree::write(cachePath, QByteArray()));
    else if (damage == QLatin1String("garbage"))
        QVERIFY(FileTree::write(cachePath, QByteArray(saved.size(), '\x5a')));
    else if (damage == QLatin1String("truncate"))
        QVERIFY(FileTree::write(cachePath, saved.left(saved.size() - 1)));
    else if (damage == QLatin1String("flip"))
        QVERIFY(
            FileTree::write(cachePath, saved.replace(middle, 1, QByteArray(1, char(saved.at(middle) ^ 1)))));
    else if (damage == QLatin1String("magic"))
        QVERIFY(FileTree::write(cachePath, saved.replace(0, 2, "XX")));
    else if (damage == QLatin1String("directory"))
        QVERIFY(QFile::remove(cachePath) && QDir().mkpath(cachePath));

    DigestCache reloaded(
        cachePath, damage == QLatin1String("read as sha256") ? ContentSum::Algorithm::Sha256 : written);
    QCOMPARE(reloaded.load(), loads);
    QCOMPARE(reloaded.digest(QStringLiteral("a"), stamp).toString(), loads ? sum.toString() : QString());
    QCOMPARE(reloaded.size(), loads ? 1 + others : 0);
    for (int i = 0; loads && i < others; ++i)
        QVERIFY(reloaded.digest(QStringLiteral("dir/file%1").arg(i), stamp).isDigest());
    // The next save replaces whatever a killed run left behind.
    if (loads) {
        QVERIFY(reloaded.save());
        QVERIFY(!QFileInfo(reloaded.temporaryPath()).isSymLink() && !QFile::exists(reloaded.temporaryPath()));
        QCOMPARE(DigestCache(cachePath, written).load(), true);
    }
    QCOMPARE(
        FileTree::read(dir->filePath("victim")), damage == QLatin1String("link") ? "victim" : QByteArray());
    QVERIFY(!QFileInfo::exists(dir->filePath("nowhere")));
}

void TestDigestCache::installedFilesEnterWithVerifiedDigests_data()
{
    QTest::addColumn<bool>("streamed");
    QTest::addColumn<bool>("listedTwice");
    // Further installed files, beyond what one batch of stamps holds.
    QTest::addColumn<int>("more");

    QTest::newRow("in memory") << false << false << 0;
    QTest::newRow("streamed to the file") << true << false << 0;
    // The later record, a reused copy, leaves no entry for the path.
    QTest::newRow("streamed, a path listed twice") << true << true << 0;
    QTest::newRow("streamed, more files than a batch") << true << false << 2100;
}

void TestDigestCache::installedFilesEnterWithVerifiedDigests()
{
    QFETCH(bool, streamed);
    QFETCH(bool, listedTwice);
    QFETCH(int, more);

    const QString root = dir->path();
    QVERIFY(FileTree::write(dir->filePath("plain.dat"), "plain"));
    QVERIFY(FileTree::write(dir->filePath("sub/unpacked.dat"), "unpacked"));
    QVERIFY(FileTree::write(dir->filePath("reused.dat"), "reused"));
    FileSpecifications lists;
    FileReplaceSpecification plain;
    plain.section = QStringLiteral("files");
    plain.fileName = QStringLiteral("plain.dat");
    FileReplaceSpecification packed;
    packed.section = QStringLiteral("files");
    packed.fileName = QStringLiteral("sub/packed.gz");
    packed.unzipMd5 = ContentSum::fromText(FileTree::md5Hex("unpacked"));
    packed.unzipFileName = QStringLiteral("sub/unpacked.dat");
    // A copy left by an earlier attempt is installed without a download entry.
    FileReplaceSpecification reused;
    reused.section = QStringLiteral("files");
    reused.fileName = QStringLiteral("reused.dat");
    // As the main task leaves them: without downloads once they are done.
    plain.fetchedMd5 = ContentSum::fromText(FileTree::md5Hex("plain"));
    packed.fetchedMd5 = ContentSum::fromText(FileTree::md5Hex("gz"));
    lists.replaceList = { plain, packed, reused };
    if (listedTwice) {
        plain.fetchedMd5 = ContentSum();
        lists.replaceList.append(plain);
    }
    for (int i = 0; i < more; ++i) {
        plain.fileName = QStringLiteral("more/%1.dat").arg(i);
        QVERIFY(FileTree::write(dir->filePath(plain.fileName), "plain"));
        lists.replaceList.append(plain);
    }
    // An entry of a file the update leaves alone stays.
    DigestCache::Stamp stamp { 1, 2, 3, 4, 5 };
    {
        DigestCache earlier(cachePath);
        earlier.insert(QStringLiteral("kept.dat"), stamp, ContentSum::fromText(md5), 10 * Second);
        QVERIFY(earlier.save());
    }
    const auto enter = [&](qint64 readAtNs) {
        DigestCache cache(cachePath);
        cache.load();
        if (streamed) {
            cache.saveWithInstalled(root, lists, readAtNs);
        } else {
            cache.insertInstalled(root, lists, readAtNs);
            cache.save();
        }
        DigestCache saved(cachePath);
        saved.load();
        return saved;
    };

    DigestCache cache = enter(DigestCache::fileClockNowNs() + 10 * Second);
    QVERIFY(DigestCache::stampOf(dir->filePath("plain.dat"), stamp));
    QCOMPARE(cache.digest(QStringLiteral("plain.dat"), stamp).toString(),
        listedTwice ? QString() : FileTree::md5Hex("plain"));
    QVERIFY(DigestCache::stampOf(dir->filePath("sub/unpacked.dat"), stamp));
    QCOMPARE(
        cache.digest(QStringLiteral("sub/unpacked.dat"), stamp).toString(), FileTree::md5Hex("unpacked"));
    QCOMPARE(cache.size(), (listedTwice ? 2 : 3) + more);
    DigestCache::Stamp last;
    if (more > 0) {
        QVERIFY(DigestCache::stampOf(dir->filePath("more/2099.dat"), last));
        QCOMPARE(cache.digest(QStringLiteral("more/2099.dat"), last).toString(), FileTree::md5Hex("plain"));
    }

    // Stamps not older than the moment of reading are not kept, and the
    // entries they would replace go.
    cache = enter(stamp.changedNs - 2 * Second);
    QCOMPARE(cache.size(), 1);
}

QTEST_GUILESS_MAIN(TestDigestCache)
#include "tst_digestcache.moc"
