#include "layoutfixture.h"
#include "manifest/installationlayout.h"
#include "filetree.h"
#include "manifest/filespecifications.h"
#include "update/digestcache.h"
#include "update/makedownloadreplacelistfunc.h"
#include "update/makedownloadreplacelisttaskspecification.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

const QString compiling = QStringLiteral("Compiling download and replace list");
const QString noFiles = QStringLiteral("No files in product ini");
const QString invalidLine = QStringLiteral("Warning: product ini contains invalid line in section %1");

QString sum(const QByteArray& data)
{
    return FileTree::md5Hex(data);
}

QByteArray line(const QString& key, const QStringList& fields)
{
    return (key + QLatin1Char('=') + fields.join(QStringLiteral("::")) + QLatin1Char('\n')).toUtf8();
}

} // namespace

class TestListCompiler : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void fieldCounts_data();
    void fieldCounts();
    void comparesWithInstalledAndDownloaded_data();
    void comparesWithInstalledAndDownloaded();
    void deleteSection_data();
    void deleteSection();
    void unreadableSizeIsZero();
    void repeatedRunStartsEmpty();
    void taskPublishesOnlySuccess();
    void digestCache_data();
    void digestCache();
    void compiledDigestsAreRemembered();

private:
    bool compile(const QByteArray& ini);
    void writeApp(const QString& name, const QByteArray& data);
    void writeDownload(const QString& name, const QByteArray& data);

    std::unique_ptr<LayoutFixture> fixture;
    QString app;
    InstallationLayout layout;
    FileSpecifications lists;
    QStringList messages;
    QList<qreal> progress;
};

void TestListCompiler::init()
{
    fixture = std::make_unique<LayoutFixture>();
    QVERIFY(fixture->isValid());
    app = fixture->root;
    layout = fixture->layout;
    lists.clear();
    messages.clear();
    progress.clear();
}

void TestListCompiler::cleanup()
{ }

bool TestListCompiler::compile(const QByteArray& ini)
{
    if (!ini.isNull())
        FileTree::write(layout.downloadedPath("client_linux_amd64.ini"), ini);
    MakeDownloadReplaceListFunc func(layout, QStringLiteral("client_linux_amd64"), lists);
    connect(&func, &ASyncFunc::message, this, [this](const QString& text) { messages << text; });
    connect(&func, &ASyncFunc::progress, this, [this](qreal value) { progress << value; });
    return func.run();
}

void TestListCompiler::writeApp(const QString& name, const QByteArray& data)
{
    QVERIFY(FileTree::write(QDir(app).filePath(name), data));
}

void TestListCompiler::writeDownload(const QString& name, const QByteArray& data)
{
    QVERIFY(FileTree::write(layout.downloadedPath(name), data));
}

void TestListCompiler::fieldCounts_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("valid");

    const QString md5 = sum("x");
    QTest::newRow("one field") << md5 << false;
    QTest::newRow("empty value") << QString() << false;
    QTest::newRow("two fields") << md5 + "::1" << true;
    QTest::newRow("two fields, empty size") << md5 + "::" << true;
    QTest::newRow("three fields") << md5 + "::1::" + md5 << false;
    QTest::newRow("four fields") << md5 + "::1::" + md5 + "::1" << false;
    QTest::newRow("five fields") << md5 + "::1::" + md5 + "::1::b/x" << true;
    QTest::newRow("five fields, empty installed name") << md5 + "::1::::::" << true;
    QTest::newRow("six fields") << md5 + "::1::" + md5 + "::1::b/x::" << false;
    QTest::newRow("single colons are no separator") << md5 + ":1:2:3:4" << false;
}

void TestListCompiler::fieldCounts()
{
    QFETCH(QString, value);
    QFETCH(bool, valid);

    // The bad line sits between two good ones; nothing after it is read.
    const QByteArray ini = "[a]\n" + line("first", { sum("1"), "1" }) + "[b]\nkey=" + value.toUtf8() + "\n"
        + "[c]\n" + line("last", { sum("2"), "1" });
    QCOMPARE(compile(ini), valid);
    if (valid) {
        QCOMPARE(messages, QStringList { compiling });
        QCOMPARE(lists.replaceList.size(), 3);
        QCOMPARE(progress.last(), 1.0);
    } else {
        QCOMPARE(messages, (QStringList { compiling, invalidLine.arg("b") }));
        QCOMPARE(progress.size(), 2);
    }
}

void TestListCompiler::comparesWithInstalledAndDownloaded_data()
{
    QTest::addColumn<bool>("packed");
    QTest::addColumn<QByteArray>("installed"); // null: not installed
    QTest::addColumn<QByteArray>("downloaded"); // null: no copy in the temporary directory
    QTest::addColumn<bool>("replace");
    QTest::addColumn<bool>("download");

    const QByteArray current("new content");
    const QByteArray gz = FileTree::gzip(current);
    QTest::newRow("up to date") << false << current << QByteArray() << false << false;
    QTest::newRow("missing") << false << QByteArray() << QByteArray() << true << true;
    QTest::newRow("differs, complete copy") << false << QByteArray("old") << current << true << false;
    QTest::newRow("differs, partial copy") << false << QByteArray("old") << current.left(3) << true << true;
    QTest::newRow("differs, corrupt copy")
        << false << QByteArray("old") << QByteArray("new contenT") << true << true;
    QTest::newRow("packed, up to date") << true << current << QByteArray() << false << false;
    QTest::newRow("packed, missing") << true << QByteArray() << QByteArray() << true << true;
    QTest::newRow("packed, complete copy") << true << QByteArray("old") << gz << true << false;
    QTest::newRow("packed, unpacked copy is no copy") << true << QByteArray("old") << current << true << true;
}

void TestListCompiler::comparesWithInstalledAndDownloaded()
{
    QFETCH(bool, packed);
    QFETCH(QByteArray, installed);
    QFETCH(QByteArray, downloaded);
    QFETCH(bool, replace);
    QFETCH(bool, download);

    const QByteArray current("new content");
    const QByteArray gz = FileTree::gzip(current);
    const QString key = packed ? "bin/tool.gz" : "bin/tool";
    const QStringList fields = packed ? QStringList { sum(gz), QString::number(gz.size()), sum(current),
        QString::number(current.size()), "bin/tool" }
                                      : QStringList { sum(current), QString::number(current.size()) };
    if (!installed.isNull())
        writeApp("bin/tool", installed);
    // A packed file's installed check must not look at the key's name.
    if (packed)
        writeApp(key, gz);
    if (!downloaded.isNull())
        writeDownload(key, downloaded);

    // Listed first, a file whose download directory is missing: that must
    // not be taken for the next file's.
    QVERIFY(compile("[files]\n" + line("a/x", { sum("x"), "1" }) + line(key, fields)));
    QCOMPARE(lists.replaceList.size(), replace ? 2 : 1);
    QCOMPARE(lists.downloadCount(), download ? 2 : 1);
    if (replace) {
        const FileReplaceSpecification& record = lists.replaceList.last();
        QCOMPARE(record.section, QStringLiteral("files"));
        QCOMPARE(record.fileName, key);
        QCOMPARE(record.pureDestFilePath(), QStringLiteral("bin/tool"));
        QCOMPARE(record.unzipMd5.toString(), packed ? sum(current) : QString());
    }
    if (download) {
        const FileDownloadSpecification record = lists.download(1);
        QCOMPARE(record.fileName, key);
        QCOMPARE(record.md5, ContentSum::fromText(fields.first()));
        QCOMPARE(record.size, fields.at(1).toLongLong());
    }
}

void TestListCompiler::deleteSection_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QStringList>("deleted");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("existing file, directory and missing path")
        << QByteArray("[delete]\ngone.txt=\nold.txt=\nplugins=\nplugins/old.so=x\n") << true
        << QStringList { "old.txt", "plugins", "plugins/old.so" } << QStringList { compiling };
    QTest::newRow("names a file in the download directory only")
        << QByteArray("[delete]\ndownloaded.txt=\n") << true << QStringList {} << QStringList { compiling };
    QTest::newRow("no ini") << QByteArray() << false << QStringList {} << QStringList { compiling, noFiles };
    QTest::newRow("only empty sections")
        << QByteArray("[files]\n[delete]\n") << false << QStringList {} << QStringList { compiling, noFiles };
    QTest::newRow("keys outside any section")
        << QByteArray("old.txt=\n") << false << QStringList {} << QStringList { compiling, noFiles };
    // In the ini's order of keys.
    const QString ownFile = QStringLiteral(
        "Warning: product ini lists %1 for deletion; it is the updater's own file and stays");
    QTest::newRow("the updater's own files")
        << QByteArray("[delete]\nupdate=\nmirrors.ini=\nupdate.ini=\nupdate.digests=\nold.txt=\n") << true
        << QStringList { "old.txt" }
        << QStringList { compiling, ownFile.arg("mirrors.ini"), ownFile.arg("update"),
               ownFile.arg("update.digests"), ownFile.arg("update.ini") };
    // Nor does a release replace a player's settings or digest cache, packed or not.
    const QString ownState
        = QStringLiteral("Warning: product ini lists %1 to install; it is the updater's own state and stays");
    QTest::newRow("the updater's state listed to install")
        << "[files]\n" + line("update.ini", { sum("[Channel]\n"), "10" })
            + line("update.digests.gz", { sum("x"), "1", sum("y"), "1", "update.digests" })
        << true << QStringList {}
        << QStringList { compiling, ownState.arg("update.digests"), ownState.arg("update.ini") };
    // Only at the top: a data file of the same name elsewhere is the client's.
    QTest::newRow("a file named like the updater below the top")
        << QByteArray("[delete]\nplugins/update=\n") << true << QStringList {} << QStringList { compiling };
    QTest::newRow("section name is case-sensitive")
        << QByteArray("[Delete]\nold.txt=\n") << false << QStringList {}
        << QStringList { compiling, invalidLine.arg("Delete") };
}

void TestListCompiler::deleteSection()
{
    QFETCH(QByteArray, ini);
    QFETCH(bool, ok);
    QFETCH(QStringList, deleted);
    QFETCH(QStringList, messages);

    writeApp("old.txt", "old");
    writeApp("plugins/old.so", "old");
    writeDownload("downloaded.txt", "x");

    QCOMPARE(compile(ini), ok);
    QCOMPARE(this->messages, messages);
    QCOMPARE(QStringList(lists.deleteList), deleted);
    QCOMPARE(lists.downloadCount(), 0);
    QVERIFY(lists.replaceList.isEmpty());
    // Every key counts towards the progress, the delete section's included.
    if (ok)
        QCOMPARE(progress.size(), int(ini.count('=')));
}

void TestListCompiler::unreadableSizeIsZero()
{
    QVERIFY(compile("[files]\n" + line("a", { sum("a"), "lots" }) + line("b", { sum("b"), "-5" })
        + line("c", { sum("c"), "9223372036854775808" })));
    QCOMPARE(lists.downloadCount(), 3);
    QCOMPARE(lists.download(0).size, 0);
    QCOMPARE(lists.download(1).size, 0);
    QCOMPARE(lists.download(2).size, 0);
}

void TestListCompiler::repeatedRunStartsEmpty()
{
    writeApp("gone", "x");
    const QByteArray ini = "[files]\n" + line("a", { sum("a"), "1" }) + "[delete]\ngone=\n";
    QVERIFY(compile(ini));
    QVERIFY(compile(ini));
    QCOMPARE(lists.downloadCount(), 1);
    QCOMPARE(lists.replaceList.size(), 1);
    QCOMPARE(lists.deleteList.size(), 1);
}

void TestListCompiler::taskPublishesOnlySuccess()
{
    FileSpecifications target;
    target.deleteList << "earlier";
    MakeDownloadReplaceListTaskSpecification task(
        layout, QStringLiteral("client_linux_amd64"), target, nullptr, 0.05);
    QSignalSpy finished(&task, &TaskSpecification::finished);
    QSignalSpy canceled(&task, &TaskSpecification::canceled);

    FileTree::write(layout.downloadedPath("client_linux_amd64.ini"),
        "[files]\n" + line("a", { sum("a"), "1" }) + "[zz]\nbad=1\n");
    task.execute();
    QTRY_COMPARE(canceled.count(), 1);
    QCOMPARE(task.state, ErrorCanceled);
    QCOMPARE(QStringList(target.deleteList), QStringList { "earlier" });
    QCOMPARE(target.downloadCount(), 0);

    FileTree::write(
        layout.downloadedPath("client_linux_amd64.ini"), "[files]\n" + line("a", { sum("a"), "1" }));
    task.reset();
    task.execute();
    QTRY_COMPARE(finished.count(), 1);
    QCOMPARE(task.progress, 0.05);
    QCOMPARE(target.downloadCount(), 1);
    QCOMPARE(target.replaceList.size(), 1);
    QVERIFY(target.deleteList.isEmpty());
}

void TestListCompiler::digestCache_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("replaced");

    // The cache is forged to claim the listed digest for a file that holds
    // something else: the file is in no list only when the cache is trusted.
    QTest::newRow("unchanged: the cache is trusted") << "none" << false;
    QTest::newRow("killed save left a partial temporary file") << "partial" << false;
    QTest::newRow("rewritten with the same size and time") << "rewrite" << true;
    QTest::newRow("replaced by another file") << "replace" << true;
    QTest::newRow("now a link to a file") << "symlink" << true;
    QTest::newRow("now a directory") << "directory" << true;
    QTest::newRow("permissions changed") << "chmod" << true;
    QTest::newRow("cache file is garbage") << "garbage" << true;
}

void TestListCompiler::digestCache()
{
    QFETCH(QString, change);
    QFETCH(bool, replaced);

    const QString path = QDir(app).filePath("d/a.bin");
    const QString cachePath = QDir(app).filePath(DigestCache::fileName());
    writeApp("d/a.bin", "installed content");
    DigestCache::Stamp stamp;
    QVERIFY(DigestCache::stampOf(path, stamp));
    QTRY_VERIFY(DigestCache::isSettled(stamp, DigestCache::fileClockNowNs()));
    DigestCache forged(cachePath);
    forged.insert(
        "d/a.bin", stamp, ContentSum::fromText(sum("listed content")), DigestCache::fileClockNowNs());
    QVERIFY(forged.save());

    if (change == "partial") {
        QVERIFY(FileTree::write(cachePath + ".tmp", FileTree::read(cachePath).left(10)));
    } else if (change == "rewrite") {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QCOMPARE(file.write("installed CONTENT"), 17);
        file.close();
        // The modification time to the nanosecond, as a copy tool keeps it.
        const timespec times[2] = { { 0, UTIME_OMIT },
            { time_t(stamp.modifiedNs / 1000000000), long(stamp.modifiedNs % 1000000000) } };
        QCOMPARE(utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
    } else if (change == "replace") {
        writeApp("d/b.bin", "installed CONTENT");
        QVERIFY(QFile::remove(path) && QFile::rename(QDir(app).filePath("d/b.bin"), path));
    } else if (change == "symlink") {
        QVERIFY(QFile::rename(path, path + ".real") && QFile::link(path + ".real", path));
    } else if (change == "directory") {
        QVERIFY(QFile::remove(path) && QDir().mkpath(path));
    } else if (change == "chmod") {
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner));
    } else if (change == "garbage") {
        QVERIFY(FileTree::write(cachePath, QByteArray(200, 'x')));
    }

    QVERIFY(compile("[files]\n" + line("d/a.bin", { sum("listed content"), "17" })));
    QCOMPARE(lists.replaceList.size(), replaced ? 1 : 0);
}

void TestListCompiler::compiledDigestsAreRemembered()
{
    writeApp("a", "a");
    writeApp("b", "b");
    DigestCache::Stamp stampA;
    DigestCache::Stamp stampB;
    QVERIFY(DigestCache::stampOf(QDir(app).filePath("a"), stampA));
    QTRY_VERIFY(DigestCache::isSettled(stampA, DigestCache::fileClockNowNs()));
    // b differs from the listed digest; a is up to date.
    QVERIFY(compile("[files]\n" + line("a", { sum("a").toUpper(), "1" }) + line("b", { sum("x"), "1" })));
    QCOMPARE(lists.replaceList.size(), 1);

    DigestCache cache(QDir(app).filePath(DigestCache::fileName()));
    QVERIFY(cache.load());
    QCOMPARE(cache.size(), 1);
    QCOMPARE(cache.digest("a", stampA).toString(), sum("a"));
    QVERIFY(DigestCache::stampOf(QDir(app).filePath("b"), stampB));
    QVERIFY(cache.digest("b", stampB).isEmpty());

    // Files are hashed a batch at a time on two threads, the next batch
    // parsed meanwhile: each verdict must stay with its own line, hashed
    // (first run) or remembered (second), a remembered file no longer
    // listed ("a") leaves the cache, and the delete lines after the last
    // batch count.
    QByteArray ini = "[files]\n";
    QStringList differing;
    for (int i = 0; i < 1100; ++i) {
        const QString name = QStringLiteral("m/f%1").arg(i, 4, 10, QLatin1Char('0'));
        writeApp(name, name.toUtf8());
        const bool differs = i % 7 == 3;
        ini += line(name, { sum(differs ? "other" : name.toUtf8()), "1" });
        if (differs)
            differing << name;
    }
    writeApp("m/old", "x");
    ini += "[delete]\nm/old=\n";
    DigestCache::Stamp last;
    QVERIFY(DigestCache::stampOf(QDir(app).filePath("m/f1099"), last));
    QTRY_VERIFY(DigestCache::isSettled(last, DigestCache::fileClockNowNs()));
    for (int run = 0; run < 2; ++run) {
        QVERIFY(compile(ini));
        QStringList replaced;
        for (const FileReplaceSpecification& replace : std::as_const(lists.replaceList))
            replaced << replace.pureDestFilePath();
        QCOMPARE(replaced, differing);
        QCOMPARE(QStringList(lists.deleteList), QStringList { "m/old" });
        QVERIFY(cache.load());
        QCOMPARE(cache.size(), 1100 - differing.size());
    }
}

QTEST_GUILESS_MAIN(TestListCompiler)
#include "tst_listcompiler.moc"
