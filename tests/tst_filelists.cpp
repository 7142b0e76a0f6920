#include "fileops/filedeletelisttaskspecification.h"
#include "filetree.h"

#include <QtTest>

namespace {

struct Run
{
    TaskState state = Idle;
    QStringList messages;
};

Run runToEnd(TaskSpecification& task)
{
    QSignalSpy finished(&task, &TaskSpecification::finished);
    QSignalSpy canceled(&task, &TaskSpecification::canceled);
    QSignalSpy messages(&task, &TaskSpecification::message);
    task.execute();
    const bool ended =
        QTest::qWaitFor([&] { return finished.count() + canceled.count() > 0; }, 20000);
    // Give a second end signal the chance to show up.
    QCoreApplication::processEvents();
    Run result;
    result.state = ended && finished.count() + canceled.count() == 1 ? task.state : Idle;
    for (const QList<QVariant>& arguments : std::as_const(messages))
        result.messages << arguments.at(0).toString();
    return result;
}

} // namespace

class TestFileLists : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void deleteList_data();
    void deleteList();

private:
    QScopedPointer<QTemporaryDir> dir;
    QString root;
};

void TestFileLists::init()
{
    dir.reset(new QTemporaryDir);
    QVERIFY(dir->isValid());
    root = dir->path();
}

void TestFileLists::deleteList_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("remaining");

    QTest::newRow("empty list") << QStringList{"a"} << QStringList{} << QStringList{"a"};
    QTest::newRow("missing entries do not stop the others")
        << QStringList{"a", "sub/b", "sub/keep", "old/_old_c"}
        << QStringList{"gone", "a", "sub/gone", "sub/b", "old/_old_c", "old/_old_gone"}
        << QStringList{"sub/keep"};
    QTest::newRow("old copies of the updater stay")
        << QStringList{"old/_old_update", "old/_old_x"} << QStringList{"old/_old_x"}
        << QStringList{"old/_old_update"};
}

void TestFileLists::deleteList()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, remaining);

    for (const QString& name : files)
        QVERIFY(FileTree::write(QDir(root).filePath(name), name.toUtf8()));

    QList<QString> deleteList = entries;
    FileDeleteListTaskSpecification task(&deleteList, root, nullptr, 0.05);
    const Run run = runToEnd(task);

    QCOMPARE(run.state, Finished);
    QCOMPARE(run.messages, QStringList{"Starting deleting files"});
    QCOMPARE(task.progress, 0.05);
    QCOMPARE(task.subTasks.size(), entries.size());
    for (const TaskSpecification* sub : std::as_const(task.subTasks))
        QCOMPARE(sub->parentProgressRange, 1.0 / entries.size());

    QStringList left = FileTree::snapshot(root).files.keys();
    QCOMPARE(left, remaining);
    // "old" goes with its last copy.
    const bool oldInUse = remaining.filter(QRegularExpression("^old/")).size() > 0;
    QCOMPARE(QFileInfo(QDir(root).filePath("old")).isDir(), oldInUse);
}

QTEST_GUILESS_MAIN(TestFileLists)
#include "tst_filelists.moc"
