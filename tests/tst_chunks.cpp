#include "manifest/contentchunker.h"
#include "manifest/contenthasher.h"

#include <QBuffer>
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

QTEST_GUILESS_MAIN(TestChunks)
#include "tst_chunks.moc"
