#include "fileops/dircreatetaskspecification.h"
#include "fileops/filecopytaskspecification.h"
#include "fileops/filedeletetaskspecification.h"
#include "fileops/filerenametaskspecification.h"
#include "fileops/fileunziptaskspecification.h"
#include "filetree.h"
#include "taskrun.h"
#include "tasks/rollbackdatalist.h"

#include <QtTest>

namespace {

QByteArray sample(int size)
{
    QByteArray data;
    data.reserve(size);
    quint32 x = 12345;
    while (data.size() < size) {
        x = x * 1103515245u + 12345u;
        // Runs of repeated bytes keep the data compressible but not trivial.
        data.append(QByteArray(int(x >> 28) + 1, char(x >> 16)));
    }
    data.truncate(size);
    return data;
}

const QFileDevice::Permissions othersMayWrite = QFileDevice::WriteGroup | QFileDevice::WriteOther;

// Bytes this process has handed to write calls so far, on every thread;
// -1 where the kernel does not tell.
qint64 bytesWritten()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("wchar: "))
            return line.mid(7).toLongLong();
    }
    return -1;
}

} // namespace

class TestFileOps : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void createDir_data();
    void createDir();
    void createDirRelative_data();
    void createDirRelative();
    void deleteFile_data();
    void deleteFile();
    void renameIsJournalledAndNeverReplaces();

    void unzip_data();
    void unzip();
    void unzipNeverLeavesOrReplacesATarget();
    void copy();

private:
    QScopedPointer<QTemporaryDir> dir;
    QString root;
};

void TestFileOps::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    root = dir->path();
}

void TestFileOps::createDir_data()
{
    QTest::addColumn<QStringList>("existingDirs");
    QTest::addColumn<QStringList>("existingFiles");
    QTest::addColumn<QString>("request");
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("created");
    QTest::addColumn<QString>("text"); // %1 is the absolute path named

    QTest::newRow("already there") << QStringList { "a" } << QStringList {} << "a" << int(Finished)
                                   << QStringList {} << "";
    QTest::newRow("missing parents, outermost first")
        << QStringList { "a" } << QStringList {} << "a/b/c" << int(Finished)
        << QStringList { "2 a/b", "2 a/b/c" } << "";
    QTest::newRow("file of that name")
        << QStringList {} << QStringList { "a" } << "a" << int(ErrorCanceled) << QStringList {}
        << "Could not create dir '%1' because it already exists and is not a dir|a";
    QTest::newRow("file as parent") << QStringList {} << QStringList { "a" } << "a/b" << int(ErrorCanceled)
                                    << QStringList {} << "unable to create dir %1|a/b";
    QTest::newRow("file as grandparent")
        << QStringList {} << QStringList { "a" } << "a/b/c" << int(ErrorCanceled) << QStringList {}
        << "unable to create dir %1|a/b";
}

void TestFileOps::createDir()
{
    QFETCH(QStringList, existingDirs);
    QFETCH(QStringList, existingFiles);
    QFETCH(QString, request);
    QFETCH(QStringList, created);
    QFETCH(QString, text);

    const QDir base(root);
    for (const QString& d : existingDirs)
        QVERIFY(base.mkpath(d));
    for (const QString& f : existingFiles)
        QVERIFY(FileTree::write(base.filePath(f), "x"));
    const FileTree::Snapshot before = FileTree::snapshot(root);

    RollbackDataList journal;
    DirCreateTaskSpecification task(base.filePath(request), &journal, nullptr, 1.0);
    const TaskRun outcome = runTask(task);

    QTEST(int(outcome.state), "state");
    QCOMPARE(FileTree::describe(journal, root), created);
    if (text.isEmpty()) {
        QVERIFY(outcome.messages.isEmpty());
        QVERIFY(QFileInfo(base.filePath(request)).isDir());
    } else {
        const QStringList parts = text.split(QLatin1Char('|'));
        QCOMPARE(outcome.messages, QStringList { parts[0].arg(base.filePath(parts[1])) });
    }

    // Undoing the journal removes exactly what was created.
    QVERIFY(journal.rollback(nullptr));
    QCOMPARE(FileTree::snapshot(root), before);
}

void TestFileOps::createDirRelative_data()
{
    QTest::addColumn<QString>("request");
    QTest::newRow("no directory part") << "fresh";
    QTest::newRow("missing ancestor") << "fresh/sub/leaf";
}

void TestFileOps::createDirRelative()
{
    QFETCH(QString, request);
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(root));

    RollbackDataList journal;
    DirCreateTaskSpecification task(request, &journal, nullptr, 1.0);
    const TaskRun outcome = runTask(task);
    QDir::setCurrent(previous);

    QCOMPARE(outcome.state, ErrorCanceled);
    // The text names the directory asked for, not the ancestor refused.
    QCOMPARE(outcome.messages, QStringList { QStringLiteral("Could not create dir %1").arg(request) });
    QVERIFY(journal.isEmpty());
    QVERIFY(QDir(root).isEmpty());
}

void TestFileOps::deleteFile_data()
{
    QTest::addColumn<bool>("exists");
    QTest::addColumn<bool>("reportFailure");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("logged");

    QTest::newRow("existing, reported") << true << true << int(Finished) << false;
    QTest::newRow("existing, quiet") << true << false << int(Finished) << false;
    QTest::newRow("missing, reported") << false << true << int(ErrorCanceled) << true;
    QTest::newRow("missing, quiet") << false << false << int(Finished) << false;
}

void TestFileOps::deleteFile()
{
    QFETCH(bool, exists);
    QFETCH(bool, reportFailure);
    QFETCH(bool, logged);

    const QString path = QDir(root).filePath(QStringLiteral("victim"));
    if (exists)
        QVERIFY(FileTree::write(path, "x"));

    FileDeleteTaskSpecification task(reportFailure, path, nullptr, 1.0);
    const TaskRun outcome = runTask(task);

    QTEST(int(outcome.state), "state");
    QVERIFY(!QFileInfo::exists(path));
    const QStringList expected { QStringLiteral("Could not delete '%1'").arg(path) };
    QCOMPARE(outcome.messages, logged ? expected : QStringList {});
}

void TestFileOps::renameIsJournalledAndNeverReplaces()
{
    const QDir base(root);
    const QString a = base.filePath(QStringLiteral("a"));
    const QString b = base.filePath(QStringLiteral("b"));
    const QString c = base.filePath(QStringLiteral("c"));
    QVERIFY(FileTree::write(a, "A"));
    QVERIFY(FileTree::write(b, "B"));

    RollbackDataList journal;
    FileRenameTaskSpecification onto(a, b, &journal, nullptr, 1.0);
    TaskRun outcome = runTask(onto);
    QCOMPARE(outcome.state, ErrorCanceled);
    QCOMPARE(outcome.messages, QStringList { QStringLiteral("Could not rename '%1' to '%2'").arg(a, b) });
    QVERIFY(journal.isEmpty());
    QCOMPARE(FileTree::read(a), QByteArray("A"));
    QCOMPARE(FileTree::read(b), QByteArray("B"));

    FileRenameTaskSpecification aside(a, c, &journal, nullptr, 1.0);
    outcome = runTask(aside);
    QCOMPARE(outcome.state, Finished);
    QCOMPARE(FileTree::describe(journal, root), QStringList { "0 c <- a" });
    QVERIFY(journal.rollback(nullptr));
    QCOMPARE(FileTree::read(a), QByteArray("A"));
    QVERIFY(!QFileInfo::exists(c));
}

void TestFileOps::unzip_data()
{
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("unpacked");
    // The unpacked size the product ini lists (-1: none).
    QTest::addColumn<qint64>("listed");

    const QByteArray data = sample(100000);
    const QByteArray packed = FileTree::gzip(data);
    QVERIFY(packed.size() > 100 && packed.size() < data.size());

    QByteArray corrupt = packed;
    corrupt[corrupt.size() / 2] = char(corrupt[corrupt.size() / 2] ^ 0x55);
    QByteArray badChecksum = packed;
    badChecksum[badChecksum.size() - 6] = char(badChecksum[badChecksum.size() - 6] ^ 0x01);

    QTest::newRow("gzip, several buffers") << packed << true << data << qint64(-1);
    QTest::newRow("two gzip members")
        << FileTree::gzip("ab") + FileTree::gzip("cd") << true << QByteArray("abcd") << qint64(-1);
    QTest::newRow("not gzip, passed through") << data << true << data << qint64(-1);
    QTest::newRow("empty gzip stream") << FileTree::gzip(QByteArray()) << true << QByteArray() << qint64(-1);
    QTest::newRow("empty file") << QByteArray() << true << QByteArray() << qint64(-1);
    QTest::newRow("truncated") << packed.left(packed.size() / 2) << false << QByteArray() << qint64(-1);
    QTest::newRow("trailer cut off") << packed.left(packed.size() - 8) << false << QByteArray() << qint64(-1);
    QTest::newRow("corrupt data") << corrupt << false << QByteArray() << qint64(-1);
    QTest::newRow("bad checksum") << badChecksum << false << QByteArray() << qint64(-1);
    // Unpacking stops at the listed size, whatever the packed sum says.
    QTest::newRow("exactly the listed size") << packed << true << data << qint64(data.size());
    QTest::newRow("one byte past the listed size")
        << packed << false << QByteArray() << qint64(data.size() - 1);
    QTest::newRow("not gzip, one byte past the listed size")
        << data << false << QByteArray() << qint64(data.size() - 1);
    QTest::newRow("empty, listed as empty")
        << FileTree::gzip(QByteArray()) << true << QByteArray() << qint64(0);
    QTest::newRow("32 MiB of zeros listed as 1000 bytes")
        << FileTree::gzip(QByteArray(32 << 20, '\0')) << false << QByteArray() << qint64(1000);
}

void TestFileOps::unzip()
{
    QFETCH(QByteArray, source);
    QFETCH(bool, ok);
    QFETCH(QByteArray, unpacked);
    QFETCH(qint64, listed);

    const QDir base(root);
    const QString sourcePath = base.filePath(QStringLiteral("download/file.gz"));
    const QString targetPath = base.filePath(QStringLiteral("install/file"));
    QVERIFY(FileTree::write(sourcePath, source));
    QVERIFY(base.mkpath(QStringLiteral("install")));

    RollbackDataList journal;
    FileUnzipTaskSpecification task(&journal, sourcePath, targetPath, nullptr, 1.0, listed);
    const qint64 writtenBefore = bytesWritten();
    const TaskRun outcome = runTask(task);
    // No more than the listed size and one buffer went to the disk.
    if (listed >= 0 && writtenBefore >= 0)
        QVERIFY(bytesWritten() - writtenBefore < listed + 256 * 1024);

    // No partial file of any name is left beside the target.
    const QStringList installDir = QDir(base.filePath(QStringLiteral("install")))
                                       .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (ok) {
        QCOMPARE(outcome.state, Finished);
        QVERIFY(outcome.messages.isEmpty());
        QCOMPARE(FileTree::read(targetPath), unpacked);
        QCOMPARE(installDir, QStringList { "file" });
        QCOMPARE(FileTree::describe(journal, root), QStringList { "1 install/file" });
        QVERIFY(QFileInfo(targetPath).isReadable());
        QCOMPARE(QFile::permissions(targetPath) & othersMayWrite, QFileDevice::Permissions());
    } else {
        QCOMPARE(outcome.state, ErrorCanceled);
        QStringList expected { QStringLiteral("Could not unzip '%1' to '%2'").arg(sourcePath, targetPath) };
        if (listed >= 0)
            expected.prepend(
                QStringLiteral("'%1' unpacks to more than the %2 bytes listed").arg(sourcePath).arg(listed));
        QCOMPARE(outcome.messages, expected);
        QCOMPARE(installDir, QStringList {});
        QVERIFY(journal.isEmpty());
    }
    QCOMPARE(FileTree::read(sourcePath), source);
}

void TestFileOps::unzipNeverLeavesOrReplacesATarget()
{
    const QDir base(root);
    const QString sourcePath = base.filePath(QStringLiteral("file.gz"));
    QVERIFY(FileTree::write(sourcePath, FileTree::gzip("new")));

    // Into a directory that does not exist.
    const QString missingDirTarget = base.filePath(QStringLiteral("nowhere/file"));
    RollbackDataList journal;
    FileUnzipTaskSpecification intoNowhere(&journal, sourcePath, missingDirTarget, nullptr, 1.0);
    TaskRun outcome = runTask(intoNowhere);
    QCOMPARE(outcome.state, ErrorCanceled);
    QCOMPARE(outcome.messages,
        QStringList { QStringLiteral("Could not unzip '%1' to '%2'").arg(sourcePath, missingDirTarget) });
    QVERIFY(!QFileInfo::exists(base.filePath(QStringLiteral("nowhere"))));

    // Onto a file that is already there: it is neither overwritten nor removed.
    const QString existing = base.filePath(QStringLiteral("existing"));
    QVERIFY(FileTree::write(existing, "keep me"));
    FileUnzipTaskSpecification onto(&journal, sourcePath, existing, nullptr, 1.0);
    outcome = runTask(onto);
    QCOMPARE(outcome.state, ErrorCanceled);
    QCOMPARE(FileTree::read(existing), QByteArray("keep me"));
    QVERIFY(journal.isEmpty());

    // A missing source.
    const QString target = base.filePath(QStringLiteral("target"));
    FileUnzipTaskSpecification fromNothing(
        &journal, base.filePath(QStringLiteral("absent.gz")), target, nullptr, 1.0);
    outcome = runTask(fromNothing);
    QCOMPARE(outcome.state, ErrorCanceled);
    QVERIFY(!QFileInfo::exists(target));
    QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList { "existing", "file.gz" }));
}

void TestFileOps::copy()
{
    const QDir base(root);
    const QString source = base.filePath(QStringLiteral("source"));
    const QString target = base.filePath(QStringLiteral("target"));
    const QByteArray data = sample(300000);
    QVERIFY(FileTree::write(source, data));

    RollbackDataList journal;
    FileCopyTaskSpecification first(&journal, source, target, nullptr, 1.0);
    TaskRun outcome = runTask(first);
    QCOMPARE(outcome.state, Finished);
    QCOMPARE(FileTree::read(target), data);
    QCOMPARE(FileTree::describe(journal, root), QStringList { "1 target" });

    // A second copy onto the same target fails and leaves it alone.
    QVERIFY(FileTree::write(source, "other"));
    FileCopyTaskSpecification second(&journal, source, target, nullptr, 1.0);
    outcome = runTask(second);
    QCOMPARE(outcome.state, ErrorCanceled);
    QCOMPARE(
        outcome.messages, QStringList { QStringLiteral("Could not copy '%1' to '%2'").arg(source, target) });
    QCOMPARE(FileTree::read(target), data);
    QCOMPARE(journal.records().size(), 1);

    // A missing source leaves nothing behind.
    const QString absent = base.filePath(QStringLiteral("absent"));
    const QString other = base.filePath(QStringLiteral("other"));
    FileCopyTaskSpecification third(&journal, absent, other, nullptr, 1.0);
    outcome = runTask(third);
    QCOMPARE(outcome.state, ErrorCanceled);
    QCOMPARE(QDir(root).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        (QStringList { "source", "target" }));
}

QTEST_GUILESS_MAIN(TestFileOps)
#include "tst_fileops.moc"
