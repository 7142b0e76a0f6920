#include "manifest/filespecifications.h"
#include "manifest/installationlayout.h"
#include "manifest/productiniline.h"
#include "manifest/productinireader.h"

#include <QtTest>

class TestFileSpecifications : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void destinationNames_data();
    void destinationNames();
    void clearEmptiesEveryList();
    void releaseRecordKeys_data();
    void releaseRecordKeys();
    void streamedIniReadsLikeQSettings_data();
    void streamedIniReadsLikeQSettings();
};

void TestFileSpecifications::destinationNames_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("unzipFileName");
    QTest::addColumn<bool>("packed");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<QString>("prefixed");
    QTest::addColumn<QString>("old");

    QTest::newRow("plain in subdirectory") << "plugins/a.so"
                                           << "" << false << "plugins/a.so"
                                           << "plugins/_old_a.so"
                                           << "old/_old_a.so";
    QTest::newRow("plain at top") << "a.so"
                                  << "" << false << "a.so"
                                  << "_old_a.so"
                                  << "old/_old_a.so";
    QTest::newRow("packed") << "bin/a.gz"
                            << "bin/a" << true << "bin/a"
                            << "bin/_old_a"
                            << "old/_old_a";
    QTest::newRow("packed to other directory") << "x.gz"
                                               << "lib/deep/x" << true << "lib/deep/x"
                                               << "lib/deep/_old_x"
                                               << "old/_old_x";
    QTest::newRow("name beginning with a colon") << ":1:readme.txt"
                                                 << "" << false << ":1:readme.txt"
                                                 << "_old_:1:readme.txt"
                                                 << "old/_old_:1:readme.txt";
    QTest::newRow("packed to a name beginning with a colon") << "x.gz"
                                                             << ":x" << true << ":x"
                                                             << "_old_:x"
                                                             << "old/_old_:x";
    QTest::newRow("same name elsewhere") << "y/lib.so"
                                         << "" << false << "y/lib.so"
                                         << "y/_old_lib.so"
                                         << "old/_old_lib.so";
}

void TestFileSpecifications::destinationNames()
{
    QFETCH(QString, fileName);
    QFETCH(QString, unzipFileName);

    FileReplaceSpecification record;
    record.fileName = fileName;
    record.unzipFileName = unzipFileName;

    QTEST(record.hasUnzip(), "packed");
    QTEST(record.pureDestFilePath(), "installed");
    QTEST(record.destFileName(QString()), "installed");
    QTEST(record.destFileName(QStringLiteral("_old_")), "prefixed");
    QTEST(record.oldDestFileName(), "old");
    // Both resolve below their directories, whatever the name.
    const InstallationLayout layout(QStringLiteral("/install"), QStringLiteral("/session/"));
    QCOMPARE(layout.installedPath(record.pureDestFilePath()), "/install/" + record.pureDestFilePath());
    QCOMPARE(layout.downloadedPath(fileName), "/session/" + fileName);
}

void TestFileSpecifications::clearEmptiesEveryList()
{
    FileSpecifications lists;
    lists.replaceList.append(FileReplaceSpecification());
    lists.listDownload(ContentSum::fromText(u"00"), 3, nullptr);
    lists.deleteList.append(QStringLiteral("gone"));
    const FileSpecifications shared = lists;

    lists.clear();
    QCOMPARE(lists.downloadCount(), 0);
    QVERIFY(lists.replaceList.isEmpty());
    QVERIFY(lists.deleteList.isEmpty());
    // A copy taken before is a value of its own.
    QCOMPARE(shared.downloadCount(), 1);
    QCOMPARE(shared.deleteList.size(), 1);
}

void TestFileSpecifications::releaseRecordKeys_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("key");

    QTest::newRow("plain type") << "client_linux_amd64"
                                << ".voxmeadow-release/client_linux_amd64/12";
    QTest::newRow("type holding a placeholder") << "client%1%0"
                                                << ".voxmeadow-release/client%1%0/12";
}

void TestFileSpecifications::releaseRecordKeys()
{
    QFETCH(QString, type);
    QFETCH(QString, key);

    const ProductIniLine::Binding binding { type, 12 };
    QCOMPARE(ProductIniLine::bindingKey(binding), key);
    ProductIniLine::Binding parsed;
    QVERIFY(ProductIniLine::parseBindingKey(key, &parsed));
    QVERIFY(parsed == binding);
}

void TestFileSpecifications::streamedIniReadsLikeQSettings_data()
{
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("longName");
    QTest::addColumn<QByteArray>("executables"); // the record's value; null: no record

    const QByteArray listed("d/f00001, d/f00002");
    // The reader takes the file in pieces of 256 KiB: lines that cross a
    // piece's end, and one longer than a piece, must come out whole.
    QTest::newRow("lines across pieces") << 20000 << 0 << listed;
    QTest::newRow("a line longer than a piece") << 3 << 600 * 1024 << listed;
    // A release from before the record: its files keep their modes.
    QTest::newRow("no executables record") << 3 << 0 << QByteArray();
}

void TestFileSpecifications::streamedIniReadsLikeQSettings()
{
    QFETCH(int, lines);
    QFETCH(int, longName);
    QFETCH(QByteArray, executables);

    QTemporaryDir dir;
    QFile file(dir.filePath("p.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    if (!executables.isNull())
        file.write("[delete]\n.voxmeadow-release\\executables=" + executables + "\n\n");
    file.write("[files]\n");
    const QByteArray sum(32, 'a');
    for (int i = 0; i < lines; ++i)
        file.write("d\\f" + QByteArray::number(100000 + i).mid(1) + "=" + sum + "::1::" + sum
            + "::1::" + QByteArray(longName, 'n') + "x" + QByteArray::number(i) + "\n");
    file.close();

    ProductIniReader streamed(file.fileName());
    ProductIniReader reference(file.fileName(), ProductIniReader::Mode::ThroughQSettings);
    streamed.open();
    reference.open();
    QVERIFY(streamed.isStreamed());
    QCOMPARE(streamed.keyCount(), lines + int(!executables.isNull()));
    QCOMPARE(reference.hasExecutables(), !executables.isNull());
    QCOMPARE(streamed.hasExecutables(), reference.hasExecutables());
    QCOMPARE(streamed.executables(), reference.executables());
    ProductIniReader::Line mine;
    ProductIniReader::Line theirs;
    while (reference.next(&theirs)) {
        QVERIFY(streamed.next(&mine));
        QCOMPARE(mine.key, theirs.key);
        QCOMPARE(mine.value, theirs.value);
    }
    QVERIFY(!streamed.next(&mine));
    QVERIFY(streamed.intact());
}

QTEST_GUILESS_MAIN(TestFileSpecifications)
#include "tst_filespecifications.moc"
