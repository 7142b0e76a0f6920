#include "tasks/rollbackdatalist.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <unistd.h>

namespace {

// Stands in for a task: the journal delivers its warnings to a method
// named "message".
class Receiver : public QObject
{
    Q_OBJECT
Q_SIGNALS:
    void message(QString text);
};

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestRollbackJournal : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void emptyJournal();
    void replacementIsUndoneNewestFirst();
    void keptContentReplacesTheNewOne();
    void createdDirectoryIsEmptiedFirst();
    void failedUndosAreReportedAndTheRestUndone();
    void appendedJournalIsUndoneFirst();
    void nullReceiverStillFails();

private:
    QString path(const QString& name) const { return dir->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir;
};

void TestRollbackJournal::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestRollbackJournal::emptyJournal()
{
    Receiver receiver;
    QSignalSpy warnings(&receiver, &Receiver::message);
    RollbackDataList journal;
    QVERIFY(journal.rollback(&receiver));
    QCOMPARE(warnings.count(), 0);
}

void TestRollbackJournal::replacementIsUndoneNewestFirst()
{
    // What installing one file does: move the old copy aside, create the new.
    writeFile(path("lib.so"), "old");
    QDir().mkdir(path("old"));
    RollbackDataList journal;
    QVERIFY(QFile::rename(path("lib.so"), path("old/_old_lib.so")));
    journal.add(RollbackData(RollbackData::Rename, path("lib.so"), path("old/_old_lib.so")));
    writeFile(path("lib.so"), "new");
    journal.add(RollbackData(RollbackData::CreateFile, path("lib.so")));

    Receiver receiver;
    QSignalSpy warnings(&receiver, &Receiver::message);
    QVERIFY(journal.rollback(&receiver));
    QCOMPARE(warnings.count(), 0);
    QVERIFY(journal.isEmpty());
    QCOMPARE(readFile(path("lib.so")), QByteArray("old"));
    QVERIFY(!QFile::exists(path("old/_old_lib.so")));
}

void TestRollbackJournal::keptContentReplacesTheNewOne()
{
    // What installing one file does now: keep the old content by a hard
    // link, rename the new content over the path.
    writeFile(path("lib.so"), "old");
    QVERIFY(QFile::setPermissions(path("lib.so"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    QVERIFY(::link(QFile::encodeName(path("lib.so")).constData(), QFile::encodeName(path("kept")).constData())
        == 0);
    writeFile(path("new"), "new");
    QVERIFY(
        std::rename(QFile::encodeName(path("new")).constData(), QFile::encodeName(path("lib.so")).constData())
        == 0);
    RollbackDataList journal;
    journal.add(RollbackData(RollbackData::Replace, path("kept"), path("lib.so")));
    // An undo whose kept content is gone says so and leaves the path alone.
    journal.add(RollbackData(RollbackData::Replace, path("gone"), path("other")));
    writeFile(path("other"), "other");

    Receiver receiver;
    QSignalSpy warnings(&receiver, &Receiver::message);
    QVERIFY(!journal.rollback(&receiver));
    QCOMPARE(warnings.count(), 1);
    QCOMPARE(warnings.at(0).at(0).toString(),
        QStringLiteral("warning: rollback restore %1 from %2 failed").arg(path("other"), path("gone")));
    QCOMPARE(readFile(path("lib.so")), QByteArray("old"));
    QCOMPARE(QFile::permissions(path("lib.so")) & QFile::ExeOwner, QFile::ExeOwner);
    QVERIFY(!QFile::exists(path("kept")));
    QCOMPARE(readFile(path("other")), QByteArray("other"));
}

void TestRollbackJournal::createdDirectoryIsEmptiedFirst()
{
    RollbackDataList journal;
    QVERIFY(QDir().mkdir(path("plugins")));
    journal.add(RollbackData(RollbackData::CreateDir, path("plugins")));
    // Enough files for the journal's records to fill several of its blocks.
    for (int i = 0; i < 2000; ++i) {
        const QString file = path(QStringLiteral("plugins/%1.so").arg(i));
        writeFile(file, "a");
        journal.add(RollbackData(RollbackData::CreateFile, file));
    }
    QCOMPARE(journal.records().last().path(), path("plugins/1999.so"));

    QVERIFY(journal.rollback(nullptr));
    QVERIFY(journal.isEmpty());
    QVERIFY(!QFileInfo::exists(path("plugins")));
}

void TestRollbackJournal::failedUndosAreReportedAndTheRestUndone()
{
    RollbackDataList journal;
    QVERIFY(QDir().mkdir(path("full")));
    journal.add(RollbackData(RollbackData::CreateDir, path("full")));
    writeFile(path("a"), "mine");
    QVERIFY(QFile::rename(path("a"), path("b")));
    journal.add(RollbackData(RollbackData::Rename, path("a"), path("b")));
    writeFile(path("created"), "x");
    journal.add(RollbackData(RollbackData::CreateFile, path("created")));

    writeFile(path("full/keep"), "k"); // the created directory is no longer empty
    writeFile(path("a"), "someone else"); // and the renamed file's old name is taken

    Receiver receiver;
    QSignalSpy warnings(&receiver, &Receiver::message);
    QVERIFY(!journal.rollback(&receiver));
    QVERIFY(journal.isEmpty());
    QCOMPARE(warnings.count(), 2);
    QCOMPARE(warnings.at(0).at(0).toString(),
        QStringLiteral("warning: rollback rename %1 to %2 failed").arg(path("a"), path("b")));
    QCOMPARE(warnings.at(1).at(0).toString(),
        QStringLiteral("warning: rollback create dir %1 failed").arg(path("full")));
    // Nothing was overwritten, and the newest record was still undone.
    QCOMPARE(readFile(path("a")), QByteArray("someone else"));
    QCOMPARE(readFile(path("b")), QByteArray("mine"));
    QVERIFY(!QFile::exists(path("created")));
    QVERIFY(QFile::exists(path("full/keep")));
}

void TestRollbackJournal::appendedJournalIsUndoneFirst()
{
    // A directory journalled by the list, a file in it journalled by a
    // replacement and appended afterwards: the file must go first.
    RollbackDataList list;
    QVERIFY(QDir().mkdir(path("d")));
    list.add(RollbackData(RollbackData::CreateDir, path("d")));
    RollbackDataList own;
    writeFile(path("d/f"), "f");
    own.add(RollbackData(RollbackData::CreateFile, path("d/f")));
    list.appendList(own);
    QCOMPARE(own.records().size(), 1);
    QCOMPARE(list.records().size(), 2);

    QVERIFY(list.rollback(nullptr));
    QVERIFY(!QFileInfo::exists(path("d")));
}

void TestRollbackJournal::nullReceiverStillFails()
{
    RollbackDataList journal;
    journal.add(RollbackData(RollbackData::CreateFile, path("never-created")));
    QVERIFY(!journal.rollback(nullptr));
    QVERIFY(journal.isEmpty());
}

QTEST_MAIN(TestRollbackJournal)
#include "tst_rollbackjournal.moc"
