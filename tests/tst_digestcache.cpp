#include "filetree.h"
#include "manifest/filespecifications.h"
#include "update/digestcache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QByteArray content = QByteArrayLiteral("sixteen bytes!!\n");
const QString md5 = FileTree::md5Hex(content);
constexpr qint64 Second = 1000000000;

// Gives a file the modification time it had, as a copy tool would.
bool restoreModified(const QString& path, const DigestCache::Stamp& stamp)
{
    const timespec times[2]
        = { { 0, UTIME_OMIT }, { time_t(stamp.modifiedNs / Second), long(stamp.modifiedNs % Second) } };
    return utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

} // namespace

class TestDigestCache : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void changeBehindTheCacheIsSeen_data();
    void changeBehindTheCacheIsSeen();
    void onlySettledStampsAreKept_data();
    void onlySettledStampsAreKept();
    void damagedCacheFileLoadsEmpty_data();
    void damagedCacheFileLoadsEmpty();
    void killedSaveLeavesTheOldCache();
    void installedFilesEnterWithVerifiedDigests();

private:
    // Writes the file, waits until its stamp is settled and caches it.
    void cacheFile(DigestCache& cache, DigestCache::Stamp& stamp);

    QScopedPointer<QTemporaryDir> dir;
    QString file;
    QString cachePath;
};

void TestDigestCache::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    file = dir->filePath(QStringLiteral("data/file.bin"));
    cachePath = dir->filePath(DigestCache::fileName());
}

void TestDigestCache::cacheFile(DigestCache& cache, DigestCache::Stamp& stamp)
{
    QVERIFY(FileTree::write(file, content));
    QVERIFY(DigestCache::stampOf(file, stamp));
    QTRY_VERIFY_WITH_TIMEOUT(DigestCache::isSettled(stamp, DigestCache::fileClockNowNs()), 5000);
    cache.insert(QStringLiteral("data/file.bin"), stamp, md5.toUpper(), DigestCache::fileClockNowNs());
    QCOMPARE(cache.digest(QStringLiteral("data/file.bin"), stamp), md5);
}

void TestDigestCache::changeBehindTheCacheIsSeen_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("trusted");

    QTest::newRow("unchanged") << "none" << true;
    QTest::newRow("rewritten, same size, time restored") << "rewrite" << false;
    QTest::newRow("replaced by another inode, time restored") << "replace" << false;
    QTest::newRow("permissions changed") << "chmod" << false;
    QTest::newRow("now a directory") << "directory" << false;
    QTest::newRow("now a link to the same content") << "symlink" << false;
}

void TestDigestCache::changeBehindTheCacheIsSeen()
{
    QFETCH(QString, change);
    QFETCH(bool, trusted);

    DigestCache cache(cachePath);
    DigestCache::Stamp before;
    cacheFile(cache, before);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(cache.save());

    const QByteArray other = QByteArrayLiteral("sixteen bytes??\n");
    if (change == QLatin1String("rewrite")) {
        QFile rewritten(file);
        QVERIFY(rewritten.open(QIODevice::ReadWrite));
        QCOMPARE(rewritten.write(other), other.size());
        rewritten.close();
        QVERIFY(restoreModified(file, before));
    } else if (change == QLatin1String("replace")) {
        QVERIFY(FileTree::write(file + QStringLiteral(".new"), other));
        QVERIFY(restoreModified(file + QStringLiteral(".new"), before));
        QVERIFY(::rename(QFile::encodeName(file + QStringLiteral(".new")).constData(),
                    QFile::encodeName(file).constData())
            == 0);
    } else if (change == QLatin1String("chmod")) {
        QVERIFY(QFile::setPermissions(file, QFileDevice::ReadOwner));
    } else if (change == QLatin1String("directory")) {
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().mkpath(file));
    } else if (change == QLatin1String("symlink")) {
        QVERIFY(QFile::rename(file, file + QStringLiteral(".target")));
        QVERIFY(QFile::link(file + QStringLiteral(".target"), file));
    }

    DigestCache reloaded(cachePath);
    QVERIFY(reloaded.load());
    DigestCache::Stamp after;
    const bool regular = DigestCache::stampOf(file, after);
    QCOMPARE(regular && !reloaded.digest(QStringLiteral("data/file.bin"), after).isEmpty(), trusted);
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
    cache.insert(QStringLiteral("a"), stamp, ::md5, changedNs + 2 * Second);
    cache.insert(QStringLiteral("a"), stamp, md5, readAtNs);
    QCOMPARE(cache.digest(QStringLiteral("a"), stamp), kept ? md5.toLower() : QString());
}

void TestDigestCache::damagedCacheFileLoadsEmpty_data()
{
    QTest::addColumn<QString>("damage");

    QTest::newRow("missing") << "missing";
    QTest::newRow("empty") << "empty";
    QTest::newRow("garbage") << "garbage";
    QTest::newRow("truncated by one byte") << "truncate";
    QTest::newRow("one payload byte flipped") << "flip";
    QTest::newRow("another format's header") << "magic";
    QTest::newRow("a directory") << "directory";
}

void TestDigestCache::damagedCacheFileLoadsEmpty()
{
    QFETCH(QString, damage);

    DigestCache cache(cachePath);
    DigestCache::Stamp stamp;
    cacheFile(cache, stamp);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(cache.save());
    QByteArray saved = FileTree::read(cachePath);
    QVERIFY(saved.size() > 40);

    if (damage == QLatin1String("missing"))
        QVERIFY(QFile::remove(cachePath));
    else if (damage == QLatin1String("empty"))
        QVERIFY(FileTree::write(cachePath, QByteArray()));
    else if (damage == QLatin1String("garbage"))
        QVERIFY(FileTree::write(cachePath, QByteArray(saved.size(), '\x5a')));
    else if (damage == QLatin1String("truncate"))
        QVERIFY(FileTree::write(cachePath, saved.left(saved.size() - 1)));
    else if (damage == QLatin1String("flip"))
        QVERIFY(FileTree::write(cachePath,
            saved.replace(saved.size() / 2, 1, QByteArray(1, char(saved.at(saved.size() / 2) ^ 1)))));
    else if (damage == QLatin1String("magic"))
        QVERIFY(FileTree::write(cachePath, saved.replace(0, 2, "XX")));
    else if (damage == QLatin1String("directory"))
        QVERIFY(QFile::remove(cachePath) && QDir().mkpath(cachePath));

    DigestCache reloaded(cachePath);
    QVERIFY(!reloaded.load());
    QCOMPARE(reloaded.size(), 0);
    QVERIFY(reloaded.digest(QStringLiteral("data/file.bin"), stamp).isEmpty());
}

void TestDigestCache::killedSaveLeavesTheOldCache()
{
    DigestCache cache(cachePath);
    DigestCache::Stamp stamp;
    cacheFile(cache, stamp);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(cache.save());
    // A run killed while writing leaves its partial temporary file beside the cache.
    const QString temporary = cachePath + QStringLiteral(".tmp");
    QVERIFY(FileTree::write(temporary, FileTree::read(cachePath).left(20)));

    DigestCache reloaded(cachePath);
    QVERIFY(reloaded.load());
    QCOMPARE(reloaded.digest(QStringLiteral("data/file.bin"), stamp), md5);
    reloaded.remove(QStringLiteral("data/file.bin"));
    QVERIFY(reloaded.save());
    QVERIFY(!QFile::exists(temporary));
    QVERIFY(reloaded.load());
    QCOMPARE(reloaded.size(), 0);
}

void TestDigestCache::installedFilesEnterWithVerifiedDigests()
{
    const QString root = dir->path();
    QVERIFY(FileTree::write(dir->filePath("plain.dat"), "plain"));
    QVERIFY(FileTree::write(dir->filePath("sub/unpacked.dat"), "unpacked"));
    QVERIFY(FileTree::write(dir->filePath("reused.dat"), "reused"));
    FileSpecifications lists;
    lists.downloadList.append(
        { QStringLiteral("files"), QStringLiteral("plain.dat"), FileTree::md5Hex("plain"), 5 });
    lists.downloadList.append(
        { QStringLiteral("files"), QStringLiteral("sub/packed.gz"), FileTree::md5Hex("gz"), 2 });
    FileReplaceSpecification plain;
    plain.section = QStringLiteral("files");
    plain.fileName = QStringLiteral("plain.dat");
    FileReplaceSpecification packed;
    packed.section = QStringLiteral("files");
    packed.fileName = QStringLiteral("sub/packed.gz");
    packed.unzipMd5 = FileTree::md5Hex("unpacked");
    packed.unzipFileName = QStringLiteral("sub/unpacked.dat");
    // A copy left by an earlier attempt is installed without a download entry.
    FileReplaceSpecification reused;
    reused.section = QStringLiteral("files");
    reused.fileName = QStringLiteral("reused.dat");
    lists.replaceList = { plain, packed, reused };

    DigestCache cache(cachePath);
    const qint64 later = DigestCache::fileClockNowNs() + 10 * Second;
    cache.insertInstalled(root, lists, later);
    DigestCache::Stamp stamp;
    QVERIFY(DigestCache::stampOf(dir->filePath("plain.dat"), stamp));
    QCOMPARE(cache.digest(QStringLiteral("plain.dat"), stamp), FileTree::md5Hex("plain"));
    QVERIFY(DigestCache::stampOf(dir->filePath("sub/unpacked.dat"), stamp));
    QCOMPARE(cache.digest(QStringLiteral("sub/unpacked.dat"), stamp), FileTree::md5Hex("unpacked"));
    QCOMPARE(cache.size(), 2);

    // Stamps not older than the moment of reading are not kept, and the
    // entries they would replace go.
    cache.insertInstalled(root, lists, stamp.changedNs - 2 * Second);
    QCOMPARE(cache.size(), 0);
}

QTEST_GUILESS_MAIN(TestDigestCache)
#include "tst_digestcache.moc"
