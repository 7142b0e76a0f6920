#include "manifest/chunkindex.h"
#include "manifest/contentchunker.h"
#include "manifest/contenthasher.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The same bytes on every machine, whatever the library's generators do.
QByteArray pseudoRandom(qsizetype size, quint64 seed)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        data[i] = char(seed >> 56);
    }
    return data;
}

QList<ContentChunker::Chunk> chunksOf(const QByteArray& content)
{
    QBuffer device;
    device.setData(content);
    device.open(QIODevice::ReadOnly);
    QList<ContentChunker::Chunk> chunks;
    QByteArray whole;
    QString error;
    const bool ok = ContentChunker::split(
        &device,
        [&](const ContentChunker::Chunk& chunk, QByteArrayView bytes) {
            chunks << chunk;
            return bytes == QByteArrayView(content).sliced(chunk.offset, chunk.size);
        },
        &whole, &error);
    return ok && whole == ContentHasher::hash(content, ContentSum::Algorithm::Sha256)
        ? chunks
        : QList<ContentChunker::Chunk>();
}

} // namespace

class TestChunks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void boundaries_data();
    void boundaries();
    void editsChangeFewChunks_data();
    void editsChangeFewChunks();
    void indexReader_data();
    void indexReader();
};

void TestChunks::boundaries_data()
{
    QTest::addColumn<QByteArray>("content");
    // Where each chunk ends.
    QTest::addColumn<QList<qint64>>("ends");

    QTest::newRow("empty") << QByteArray() << QList<qint64>();
    QTest::newRow("one byte") << QByteArray("x") << QList<qint64> { 1 };
    QTest::newRow("just below the minimum")
        << pseudoRandom(ContentChunker::MIN_SIZE - 1, 7) << QList<qint64> { ContentChunker::MIN_SIZE - 1 };
    QTest::newRow("no cut in constant bytes: the maximum")
        << QByteArray(ContentChunker::MAX_SIZE * 2 + 5, '\0')
        << QList<qint64> { ContentChunker::MAX_SIZE, 2 * ContentChunker::MAX_SIZE,
               2 * ContentChunker::MAX_SIZE + 5 };
    QTest::newRow("fixed pseudo-random content") << pseudoRandom(1024 * 1024,
        1) << QList<qint64> { 30467, 152708, 414852, 501667, 649807, 771394, 793045, 1032126, 1048576 };
}

void TestChunks::boundaries()
{
    QFETCH(QByteArray, content);
    QFETCH(QList<qint64>, ends);
    const QList<ContentChunker::Chunk> chunks = chunksOf(content);
    QList<qint64> found;
    for (const ContentChunker::Chunk& chunk : chunks) {
        QVERIFY(chunk.size <= ContentChunker::MAX_SIZE);
        QVERIFY(chunk.size >= ContentChunker::MIN_SIZE || chunk.offset + chunk.size == content.size());
        QCOMPARE(chunk.sha256,
            ContentHasher::hash(
                QByteArrayView(content).sliced(chunk.offset, chunk.size), ContentSum::Algorithm::Sha256));
        found << chunk.offset + chunk.size;
    }
    QCOMPARE(found, ends);
}

void TestChunks::editsChangeFewChunks_data()
{
    QTest::addColumn<QByteArray>("edited");

    const QByteArray original = pseudoRandom(2 * 1024 * 1024, 3);
    const qsizetype middle = original.size() / 2;
    QTest::newRow("one byte inserted") << QByteArray(original).insert(middle, 'x');
    QTest::newRow("one byte removed") << QByteArray(original).remove(middle, 1);
    QTest::newRow("one byte changed") << QByteArray(original).replace(middle, 1, "\x01");
    QTest::newRow("a byte inserted at the start") << QByteArray(original).prepend('x');
}

void TestChunks::editsChangeFewChunks()
{
    QFETCH(QByteArray, edited);
    QSet<QByteArray> before;
    for (const ContentChunker::Chunk& chunk : chunksOf(pseudoRandom(2 * 1024 * 1024, 3)))
        before << chunk.sha256;
    int changed = 0;
    for (const ContentChunker::Chunk& chunk : chunksOf(edited))
        changed += before.contains(chunk.sha256) ? 0 : 1;
    QVERIFY2(changed >= 1 && changed <= 2, qPrintable(QString::number(changed)));
}

void TestChunks::indexReader_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("error"); // empty: valid

    const QByteArray id(64, 'a');
    const QByteArray pack(32, 'b');
    const QByteArray chunkA = "chunk\t" + id + "\t16384\t" + pack + "\t0\t100\n";
    const QByteArray chunkB = "chunk\t" + id + "\t3616\t" + pack + "\t100\t50\n";
    const QByteArray fileA = "file\tfiles\ta\t20000\t2\n" + chunkA + chunkB;
    const QByteArray fileB = "file\tfiles\tb\t0\t0\n";
    const QByteArray head = "voxmeadow-chunk-index 1\nrelease\tclient\t7\n";
    const QByteArray text = head + fileA + fileB + "end\t2\t2\n";

    QTest::newRow("as written") << text << QString();
    QTest::newRow("no files") << head + "end\t0\t0\n" << QString();
    QTest::newRow("one chunk of the largest size")
        << head + "file\tfiles\ta\t262144\t1\nchunk\t" + id + "\t262144\t" + pack + "\t0\t262200\nend\t1\t1\n"
        << QString();

    QTest::newRow("wrong magic") << QByteArray(text).replace("index 1", "index 2") << "line 1:";
    QTest::newRow("no end line") << head + fileA + fileB << "line 7: the file ends";
    QTest::newRow("no newline at the end") << text.chopped(1) << "line 7: no newline";
    QTest::newRow("line after the end") << text + fileB << "line 7: more after";
    QTest::newRow("end counts wrong")
        << QByteArray(text).replace("end\t2\t2", "end\t2\t3") << "line 7: the end line counts";
    QTest::newRow("files out of order") << head + fileB + fileA + "end\t2\t2\n"
                                        << "line 4: [files] a is out of order";
    QTest::newRow("file listed twice") << head + fileB + fileB + "end\t2\t0\n"
                                       << "line 4:";
    QTest::newRow("chunks short of the file")
        << QByteArray(text).replace("\t3616\t", "\t3615\t") << "line 5: the chunk sizes do not add up";
    QTest::newRow("a chunk more than counted")
        << head + "file\tfiles\ta\t16384\t1\n" + chunkA + chunkA + "end\t1\t2\n"
        << "line 5: expected the file";
    QTest::newRow("too few chunks for the size") << head + "file\tfiles\ta\t262145\t1\n"
                                                 << "line 3: 1 chunks cannot hold";
    QTest::newRow("chunk above the largest size")
        << head + "file\tfiles\ta\t262145\t2\nchunk\t" + id + "\t262145\t" + pack + "\t0\t9\n"
        << "line 4:";
    QTest::newRow("packed beyond the largest pack")
        << QByteArray(text).replace("\t100\t50", "\t67108800\t100") << "line 5: the chunk's place";
    QTest::newRow("pack name in upper case")
        << QByteArray(text).replace(pack, pack.toUpper()) << "line 4: the pack";
    QTest::newRow("extra field") << QByteArray(text).replace("\t0\t0\n", "\t0\t0\t\n") << "line 6:";
    QTest::newRow("key leaves its directory") << QByteArray(text).replace("\tb\t", "\t../b\t") << "line 6:";
    QTest::newRow("overlong line") << head + "file\tfiles\t" + QByteArray(17000, 'k') + "\t0\t0\n"
                                   << "line 3: longer";
}

void TestChunks::indexReader()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, error);

    QTemporaryDir dir;
    QFile file(dir.filePath("x.chunks"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    file.close();
    ChunkIndex::Reader reader(file.fileName());
    ChunkIndex::File entry;
    ChunkIndex::Chunk chunk;
    if (reader.open()) {
        while (reader.nextFile(&entry)) {
            while (reader.nextChunk(&chunk)) { }
        }
    }
    QVERIFY2(reader.errorString().contains(error), qPrintable(reader.errorString()));
    QCOMPARE(reader.done(), error.isEmpty());
    if (error.isEmpty())
        QCOMPARE(reader.sha256(), ContentHasher::hash(content, ContentSum::Algorithm::Sha256));
}

QTEST_GUILESS_MAIN(TestChunks)
#include "tst_chunks.moc"
