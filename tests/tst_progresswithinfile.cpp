#include "verify/checksigfunc.h"
#include "fileops/filecopyfunc.h"
#include "fileops/fileunzipfunc.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <zlib.h>

// Copying, unpacking and checking a large file report how far they are, so
// that the window's progress moves during a single large file.
class TestProgressWithinFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void reportsWithinFile_data();
    void reportsWithinFile();
};

void TestProgressWithinFile::reportsWithinFile_data()
{
    QTest::addColumn<QString>("work");
    QTest::addColumn<int>("megabytes");
    QTest::addColumn<int>("reports");

    QTest::newRow("check, 40 MiB") << "check" << 40 << 2;
    QTest::newRow("check, just under one step") << "check" << 15 << 0;
    QTest::newRow("unpack, 40 MiB") << "unpack" << 40 << 2;
    QTest::newRow("copy, 40 MiB") << "copy" << 40 << 2;
    QTest::newRow("copy, just under one step") << "copy" << 15 << 0;
}

void TestProgressWithinFile::reportsWithinFile()
{
    QFETCH(QString, work);
    QFETCH(int, megabytes);
    QFETCH(int, reports);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Random bytes: the packed file is as large as the plain one, so the
    // packed bytes read track the progress closely.
    QByteArray block(1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(42).fillRange(reinterpret_cast<quint32*>(block.data()), block.size() / 4);
    const QString plain = dir.filePath(QStringLiteral("plain.bin"));
    const QString packed = dir.filePath(QStringLiteral("packed.gz"));
    QCryptographicHash md5(QCryptographicHash::Md5);
    {
        QFile file(plain);
        QVERIFY(file.open(QIODevice::WriteOnly));
        gzFile gz = gzopen(packed.toUtf8().constData(), "wb1");
        QVERIFY(gz);
        for (int i = 0; i < megabytes; ++i) {
            QCOMPARE(file.write(block), qint64(block.size()));
            QCOMPARE(gzwrite(gz, block.constData(), unsigned(block.size())), block.size());
            md5.addData(block);
        }
        QCOMPARE(gzclose(gz), Z_OK);
    }

    const QString output = dir.filePath(QStringLiteral("output.bin"));
    std::unique_ptr<ASyncFunc> function;
    if (work == QLatin1String("check"))
        function = std::make_unique<CheckSigFunc>(
            plain, FileCheck::md5Digest(QString::fromLatin1(md5.result().toHex())));
    else if (work == QLatin1String("copy"))
        function = std::make_unique<FileCopyFunc>(plain, output);
    else
        function = std::make_unique<FileUnzipFunc>(packed, output);
    QSignalSpy progress(function.get(), &ASyncFunc::progress);
    QSignalSpy result(function.get(), &ASyncFunc::runResult);
    function->execute();
    QCOMPARE(result.count(), 1);
    QVERIFY(result.first().first().toBool());
    if (work != QLatin1String("check"))
        QCOMPARE(QFileInfo(output).size(), qint64(megabytes) * block.size());

    QCOMPARE(progress.count(), reports);
    qreal previous = 0;
    for (const QList<QVariant>& report : progress) {
        const qreal value = report.first().toReal();
        QVERIFY2(value > previous && value <= 1.0, qPrintable(QString::number(value)));
        previous = value;
    }
}

QTEST_GUILESS_MAIN(TestProgressWithinFile)
#include "tst_progresswithinfile.moc"
