#include "layoutfixture.h"
#include "manifest/installationlayout.h"
#include "fileops/dircreatetaskspecification.h"
#include "fileops/filedeletelisttaskspecification.h"
#include "fileops/filereplacelisttaskspecification.h"
#include "fileops/filereplacetaskspecification.h"
#include "filetree.h"
#include "taskrun.h"

#include <QtTest>

namespace {

QStringList names(const QStringList& entriesWithMode)
{
    QStringList result;
    for (const QString& entry : entriesWithMode)
        result << entry.section(QLatin1Char(' '), 0, 0);
    return result;
}

// One file of an update: where it is installed, what it held before (empty:
// not installed yet) and what it becomes.
struct Planned
{
    QString path;
    QByteArray previous;
    QByteArray next;
    bool packed = false;
};

} // namespace

class TestFileLists : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void weights_data();
    void weights();
    void installation_data();
    void installation();
    void replacementEndingAfterAFailureIsUndone();
    void largeInstallationFailingAtItsLastFileIsUndone();
    void sameNameInTwoDirectories_data();
    void sameNameInTwoDirectories();

    void deleteList_data();
    void deleteList();

private:
    QString app(const QString& relative) const { return QDir(root).filePath(relative); }
    // Writes the installed and downloaded versions and returns the replace list.
    QList<FileReplaceSpecification> prepare(const QList<Planned>& plan);

    std::unique_ptr<LayoutFixture> fixture;
    QString root;
    QString downloadDir;
    InstallationLayout layout;
};

void TestFileLists::init()
{
    fixture = std::make_unique<LayoutFixture>();
    QVERIFY(fixture->isValid());
    root = fixture->root;
    downloadDir = fixture->downloads;
    layout = fixture->layout;
}

void TestFileLists::cleanup()
{ }

QList<FileReplaceSpecification> TestFileLists::prepare(const QList<Planned>& plan)
{
    QList<FileReplaceSpecification> list;
    for (const Planned& file : plan) {
        if (!file.previous.isEmpty())
            FileTree::write(app(file.path), file.previous);
        FileReplaceSpecification record;
        record.section = QStringLiteral("client");
        if (file.packed) {
            record.fileName = file.path + QStringLiteral(".gz");
            record.unzipFileName = file.path;
            record.unzipMd5 = ContentSum::fromText(FileTree::md5Hex(file.next));
            record.unzipSize = file.next.size();
            FileTree::write(QDir(downloadDir).filePath(record.fileName), FileTree::gzip(file.next));
        } else {
            record.fileName = file.path;
            FileTree::write(QDir(downloadDir).filePath(record.fileName), file.next);
        }
        list << record;
    }
    return list;
}

void TestFileLists::weights_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("dirs"); // the directory creations, in order
    QTest::addColumn<double>("fileWeight");

    QTest::newRow("no files") << QStringList {} << QStringList {} << 0.0;
    QStringList ten;
    for (int i = 0; i < 10; ++i)
        ten << QStringLiteral("f%1").arg(i);
    QTest::newRow("no missing directory") << ten << QStringList {} << 0.1;
    QStringList spread = ten;
    spread[2] = QStringLiteral("z/f2");
    spread[4] = QStringLiteral("a/b/f4");
    spread[5] = QStringLiteral("a/b/f5");
    spread[7] = QStringLiteral("a/f7");
    QTest::newRow("three missing directories") << spread << QStringList { "a", "a/b", "z" } << 0.09;
}

void TestFileLists::weights()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, dirs);
    QFETCH(double, fileWeight);

    QList<Planned> plan;
    for (const QString& path : files)
        plan << Planned { path, QByteArray(), path.toUtf8(), false };
    QList<FileReplaceSpecification> replaceList = prepare(plan);
    QList<QString> deleteList;
    FileReplaceListTaskSpecification task(&replaceList, &deleteList, layout, nullptr, 0.4);
    const TaskRun run = runTask(task);
    QCOMPARE(run.state, Finished);
    QCOMPARE(task.progress, 0.4);
    QCOMPARE(run.messages.value(0), QStringLiteral("Starting file updates"));
    QCOMPARE(run.messages.size(), 1 + files.size());

    QStringList created;
    int fileTasks = 0;
    for (const TaskSpecification* sub : std::as_const(task.subTasks())) {
        if (auto* dirTask = qobject_cast<const DirCreateTaskSpecification*>(sub)) {
            created << QDir(root).relativeFilePath(dirTask->path);
            QVERIFY(qFuzzyCompare(sub->parentProgressRange, 0.1 / dirs.size()));
        } else {
            QVERIFY(qobject_cast<const FileReplaceTaskSpecification*>(sub));
            QVERIFY(qFuzzyCompare(sub->parentProgressRange, fileWeight));
            ++fileTasks;
        }
    }
    QCOMPARE(created, dirs);
    QCOMPARE(fileTasks, files.size());
    for (const QString& path : files)
        QCOMPARE(FileTree::read(app(path)), path.toUtf8());
}

void TestFileLists::installation_data()
{
    QTest::addColumn<int>("faultAt"); // index in the replace list, -1 for none
    QTest::addColumn<QString>("fault");

    QTest::newRow("success") << -1 << "";
    QTest::newRow("first file cannot be downloaded") << 0 << "missing";
    QTest::newRow("bad MD5 in the middle") << 23 << "md5";
    QTest::newRow("old copy in the way") << 38 << "stuck";
    QTest::newRow("user cancels") << 30 << "cancel";
}

// A few dozen files in nested directories, some packed, some new in
// directories that do not exist yet, many sharing their name with files in
// other directories. One fault, or none, and then the tree is compared with
// what it was.
void TestFileLists::installation()
{
    QFETCH(int, faultAt);
    QFETCH(QString, fault);

    QList<Planned> plan;
    for (int i = 0; i < 48; ++i) {
        Planned file;
        const bool installed = i % 3 != 0;
        const QString dirPath = installed ? QStringLiteral("d%1/s%2").arg(i % 4).arg(i / 4 % 3)
                                          : QStringLiteral("new%1/deep%2").arg(i % 2).arg(i / 12);
        const QString name = i % 2 == 1 ? QStringLiteral("f%1.dat").arg(i)
            : installed                 ? QStringLiteral("lib%1.so").arg(i / 12)
                                        : QStringLiteral("n%1.so").arg(i);
        file.path = dirPath + QLatin1Char('/') + name;
        if (installed)
            file.previous = "previous " + file.path.toUtf8() + QByteArray(i * 100, char(i));
        file.next = "next " + file.path.toUtf8() + QByteArray(i * 1000, char(i + 1));
        file.packed = i % 4 == 1 || i == 23;
        plan << file;
    }
    // Large enough that its copy is still running when a fault stops the list.
    plan[37].next += QByteArray(8 << 20, 'x');
    QVERIFY(FileTree::write(app(QStringLiteral("d0/s0/unlisted.txt")), "stays"));
    QVERIFY(FileTree::write(app(QStringLiteral("top.txt")), "stays too"));

    QList<FileReplaceSpecification> replaceList = prepare(plan);
    if (fault == QLatin1String("missing"))
        QVERIFY(QFile::remove(QDir(downloadDir).filePath(replaceList[faultAt].fileName)));
    if (fault == QLatin1String("md5"))
        replaceList[faultAt].unzipMd5 = ContentSum::fromText(FileTree::md5Hex("something else"));
    if (fault == QLatin1String("stuck"))
        // Blocks the old copy of file 38, the first installed lib3.so.
        QVERIFY(FileTree::write(app(QStringLiteral("old/_old_lib3.so/inside")), "x"));
    const FileTree::Snapshot before = FileTree::snapshot(root);

    QList<QString> deleteList { QStringLiteral("top.txt") };
    FileReplaceListTaskSpecification task(&replaceList, &deleteList, layout, nullptr, 1.0);
    TaskEndWatcher watcher(task);
    if (fault == QLatin1String("cancel")) {
        const QString trigger = replaceList[faultAt].fileName;
        connect(&task, &ComposedTaskSpecification::subTaskStarting, this,
            [&task, trigger](TaskSpecification* sub) {
                // Directories are made by tasks of their own, first.
                const auto* replace = qobject_cast<FileReplaceTaskSpecification*>(sub);
                if (replace && replace->replaceSpecification.fileName == trigger)
                    connect(sub, &TaskSpecification::finished, &task, [&task] { task.userCanceled(); });
            });
    }
    task.execute();
    const TaskRun run = watcher.wait();
    QVERIFY(run.state != Idle);
    const QStringList& log = run.messages;

    if (faultAt < 0) {
        QCOMPARE(task.state, Finished);
        FileDeleteListTaskSpecification deleter(&deleteList, layout, nullptr, 1.0);
        QCOMPARE(runTask(deleter).state, Finished);

        const FileTree::Snapshot after = FileTree::snapshot(root);
        QStringList expectedFiles { "d0/s0/unlisted.txt" };
        for (const Planned& file : std::as_const(plan)) {
            QCOMPARE(FileTree::read(app(file.path)), file.next);
            expectedFiles << file.path;
        }
        expectedFiles.sort();
        QCOMPARE(after.files.keys(), expectedFiles);
        QCOMPARE(after.files.value("d0/s0/unlisted.txt"), before.files.value("d0/s0/unlisted.txt"));
        QStringList expectedDirs = names(before.dirs);
        expectedDirs << "new0"
                     << "new0/deep0"
                     << "new0/deep1"
                     << "new0/deep2"
                     << "new0/deep3"
                     << "new1"
                     << "new1/deep0"
                     << "new1/deep1"
                     << "new1/deep2"
                     << "new1/deep3";
        expectedDirs.sort();
        QCOMPARE(names(after.dirs), expectedDirs);
        return;
    }

    QCOMPARE(task.state, fault == QLatin1String("cancel") ? UserCanceled : ErrorCanceled);
    QVERIFY(log.contains(QStringLiteral("rolling back file updates")));
    QVERIFY2(!log.join(QLatin1Char('\n')).contains(QLatin1String("warning")),
        qPrintable(log.join(QLatin1Char('\n'))));
    const FileTree::Snapshot after = FileTree::snapshot(root);
    QVERIFY2(after == before, qPrintable(after.difference(before)));
    QCOMPARE(deleteList.first(), QStringLiteral("top.txt"));
    QVERIFY(task.rollbackList.isEmpty());
}

void TestFileLists::replacementEndingAfterAFailureIsUndone()
{
    // The first file fails at its first step (its old copy cannot be
    // deleted), while the second, started beside it, still has its rename
    // and its copy to do.
    const QList<Planned> plan { { "a/first", "old first", "new first", false },
        { "b/second", "old second", "new second", true } };
    QList<FileReplaceSpecification> replaceList = prepare(plan);
    QVERIFY(FileTree::write(app("old/_old_first/inside"), "x"));
    const FileTree::Snapshot before = FileTree::snapshot(root);

    QList<QString> deleteList;
    FileReplaceListTaskSpecification task(&replaceList, &deleteList, layout, nullptr, 1.0);
    TaskEndWatcher watcher(task);
    QStringList ends;
    connect(&task, &ComposedTaskSpecification::subTaskStarting, this, [this, &ends](TaskSpecification* sub) {
        const QString name = static_cast<FileReplaceTaskSpecification*>(sub)->replaceSpecification.fileName;
        connect(sub, &TaskSpecification::finished, this, [&ends, name] { ends << "finished " + name; });
        connect(sub, &TaskSpecification::canceled, this, [&ends, name] { ends << "canceled " + name; });
    });
    task.execute();
    const TaskRun run = watcher.wait();

    QCOMPARE(run.state, ErrorCanceled);
    QCOMPARE(ends, (QStringList { "canceled a/first", "finished b/second.gz" }));
    QCOMPARE(run.messages.filter("rolling back").size(), 1);
    QVERIFY(
        run.messages.indexOf("rolling back file updates") > run.messages.indexOf("add/replace b/second.gz"));
    const FileTree::Snapshot after = FileTree::snapshot(root);
    QVERIFY2(after == before, qPrintable(after.difference(before)));
}

void TestFileLists::largeInstallationFailingAtItsLastFileIsUndone()
{
    // Every file's task is gone long before the last one fails; the journal
    // alone must bring back the previous version and the missing directories.
    QList<Planned> plan;
    for (int i = 0; i < 3000; ++i) {
        const bool installed = i % 2 == 0;
        plan << Planned { QStringLiteral("%1%2/f%3").arg(installed ? "d" : "new").arg(i % 30).arg(i),
            installed ? "previous " + QByteArray::number(i) : QByteArray(), "next " + QByteArray::number(i),
            i % 500 == 1 };
    }
    QList<FileReplaceSpecification> replaceList = prepare(plan);
    QVERIFY(QFile::remove(QDir(downloadDir).filePath(replaceList.last().fileName)));
    const FileTree::Snapshot before = FileTree::snapshot(root);

    QList<QString> deleteList;
    FileReplaceListTaskSpecification task(&replaceList, &deleteList, layout, nullptr, 1.0);
    task.setDiscardFinishedSubTasks(true);
    const TaskRun run = runTask(task);

    QCOMPARE(run.state, ErrorCanceled);
    QVERIFY(run.messages.contains(QStringLiteral("The previous version is restored")));
    const FileTree::Snapshot after = FileTree::snapshot(root);
    QVERIFY2(after == before, qPrintable(after.difference(before)));
    QVERIFY(task.rollbackList.isEmpty());
}

void TestFileLists::sameNameInTwoDirectories_data()
{
    QTest::addColumn<QStringList>("installed"); // of x/lib.so, y/lib.so, z/lib.so
    QTest::addColumn<bool>("leftover"); // old/_old_lib.so from an earlier update
    QTest::addColumn<bool>("fail"); // a later file of the update fails
    QTest::addColumn<QStringList>("oldCopies"); // names given, in list order

    const QStringList all { "x/lib.so", "y/lib.so", "z/lib.so" };
    QTest::newRow("success") << all << false << false
                             << QStringList { "old/_old_lib.so", "old/_old_2_lib.so", "old/_old_3_lib.so" };
    QTest::newRow("success over a leftover")
        << all << true << false
        << QStringList { "old/_old_lib.so", "old/_old_2_lib.so", "old/_old_3_lib.so" };
    QTest::newRow("first one new") << QStringList { "y/lib.so", "z/lib.so" } << false << false
                                   << QStringList { "", "old/_old_lib.so", "old/_old_2_lib.so" };
    QTest::newRow("rollback") << all << false << true << QStringList {};
    QTest::newRow("rollback over a leftover") << all << true << true << QStringList {};
}

void TestFileLists::sameNameInTwoDirectories()
{
    QFETCH(QStringList, installed);
    QFETCH(bool, leftover);
    QFETCH(bool, fail);
    QFETCH(QStringList, oldCopies);

    QList<Planned> plan;
    for (const QString path : { "x/lib.so", "y/lib.so", "z/lib.so" }) {
        const QByteArray previous = installed.contains(path) ? "old " + path.toUtf8() : QByteArray();
        plan << Planned { path, previous, "new " + path.toUtf8(), path == "y/lib.so" };
    }
    plan << Planned { "w/other", "old other", "new other", false };
    QVERIFY(QDir().mkpath(app("x")));
    if (leftover)
        QVERIFY(FileTree::write(app("old/_old_lib.so"), "earlier update"));
    QList<FileReplaceSpecification> replaceList = prepare(plan);
    if (fail)
        QVERIFY(QFile::remove(QDir(downloadDir).filePath("w/other")));
    FileTree::Snapshot before = FileTree::snapshot(root);
    before.files.remove("old/_old_lib.so");

    QList<QString> deleteList;
    FileReplaceListTaskSpecification task(&replaceList, &deleteList, layout, nullptr, 1.0);
    const TaskRun run = runTask(task);

    if (fail) {
        QCOMPARE(run.state, ErrorCanceled);
        QVERIFY2(!run.messages.join('\n').contains("warning"), qPrintable(run.messages.join('\n')));
        // Each file has its own previous content back.
        const FileTree::Snapshot after = FileTree::snapshot(root);
        QVERIFY2(after == before, qPrintable(after.difference(before)));
        return;
    }

    QCOMPARE(run.state, Finished);
    QStringList expectedDeletes;
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(FileTree::read(app(plan[i].path)), plan[i].next);
        if (oldCopies[i].isEmpty())
            continue;
        QCOMPARE(FileTree::read(app(oldCopies[i])), plan[i].previous);
        expectedDeletes << oldCopies[i];
    }
    expectedDeletes << "old/_old_other";
    QCOMPARE(QStringList(deleteList).size(), expectedDeletes.size());
    for (const QString& name : expectedDeletes)
        QVERIFY2(deleteList.contains(name), qPrintable(name));

    // The journal kept after success still undoes each file into its own content.
    QVERIFY(task.rollbackList.rollback(nullptr));
    const FileTree::Snapshot undone = FileTree::snapshot(root);
    QVERIFY2(undone == before, qPrintable(undone.difference(before)));
}

void TestFileLists::deleteList_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<bool>("canceled");
    QTest::addColumn<int>("deletions");
    QTest::addColumn<QStringList>("remaining");

    QTest::newRow("empty list") << QStringList { "a" } << QStringList {} << false << 0 << QStringList { "a" };
    QTest::newRow("missing entries do not stop the others")
        << QStringList { "a", "sub/b", "sub/keep", "old/_old_c" }
        << QStringList { "gone", "a", "sub/gone", "sub/b", "old/_old_c", "old/_old_gone" } << false << 6
        << QStringList { "sub/keep" };
    // Interrupted runs leave new files under our prefix and old copies,
    // also of the updater itself; names that only contain the prefix stay.
    QTest::newRow("leftovers of interrupted runs go")
        << QStringList { "old/_old_update", "old/_old_x", "old/_old_2_x", "old/other.txt", ".voxmeadow-new-a",
               "sub/.voxmeadow-new-b", "sub/voxmeadow-new-c", "sub/x.voxmeadow-new-d" }
        << QStringList { "old/_old_x" } << false << 5
        << QStringList { "old/other.txt", "sub/voxmeadow-new-c", "sub/x.voxmeadow-new-d" };
    QTest::newRow("a cancel does not stop the deletion")
        << QStringList { "a", "b", "old/_old_c" } << QStringList { "a", "b", "old/_old_c" } << true << 3
        << QStringList {};
}

void TestFileLists::deleteList()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, entries);
    QFETCH(bool, canceled);
    QFETCH(int, deletions);
    QFETCH(QStringList, remaining);

    for (const QString& name : files)
        QVERIFY(FileTree::write(QDir(root).filePath(name), name.toUtf8()));

    QList<QString> deleteList = entries;
    FileDeleteListTaskSpecification task(&deleteList, layout, nullptr, 0.05);
    TaskEndWatcher watcher(task);
    task.execute();
    if (canceled)
        task.userCanceled();
    const TaskRun run = watcher.wait();

    QCOMPARE(run.state, Finished);
    QCOMPARE(run.messages, QStringList { "Starting deleting files" });
    QCOMPARE(task.progress, 0.05);
    QCOMPARE(task.subTasks().size(), deletions);
    for (const TaskSpecification* sub : std::as_const(task.subTasks()))
        QCOMPARE(sub->parentProgressRange, 1.0 / deletions);

    QStringList left = FileTree::snapshot(root).files.keys();
    QCOMPARE(left, remaining);
    // "old" goes with its last copy.
    const bool oldInUse = remaining.filter(QRegularExpression("^old/")).size() > 0;
    QCOMPARE(QFileInfo(QDir(root).filePath("old")).isDir(), oldInUse);
}

QTEST_GUILESS_MAIN(TestFileLists)
#include "tst_filelists.moc"
