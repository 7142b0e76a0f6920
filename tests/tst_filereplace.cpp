#include "layoutfixture.h"
#include "manifest/installationlayout.h"
#include "fileops/filereplacetaskspecification.h"
#include "filetree.h"
#include "taskrun.h"
#include "tasks/rollbackdatalist.h"

#include <QProcess>
#include <QtTest>

#include <unistd.h>

namespace {

const QString installedName = QStringLiteral("plugins/a.so");
const QString oldName = QStringLiteral("old/_old_a.so");

QFileDevice::Permissions mode(int octal)
{
    QFileDevice::Permissions result;
    const int bits[9] = { 0400, 0200, 0100, 040, 020, 010, 04, 02, 01 };
    const QFileDevice::Permission flags[9] = { QFileDevice::ReadOwner, QFileDevice::WriteOwner,
        QFileDevice::ExeOwner, QFileDevice::ReadGroup, QFileDevice::WriteGroup, QFileDevice::ExeGroup,
        QFileDevice::ReadOther, QFileDevice::WriteOther, QFileDevice::ExeOther };
    for (int i = 0; i < 9; ++i) {
        if (octal & bits[i])
            result |= flags[i];
    }
    // The user bits are the owner's as seen by the owner.
    if (octal & 0400)
        result |= QFileDevice::ReadUser;
    if (octal & 0200)
        result |= QFileDevice::WriteUser;
    if (octal & 0100)
        result |= QFileDevice::ExeUser;
    return result;
}

} // namespace

class TestFileReplace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void steps_data();
    void steps();
    void failedStepRestoresPreviousVersion_data();
    void failedStepRestoresPreviousVersion();
    void permissionsAndOldCopies_data();
    void permissionsAndOldCopies();

private:
    FileReplaceSpecification record(
        const QString& installed, bool packed, const QByteArray& content, const QString& md5 = QString());
    QString app(const QString& relative) const { return QDir(appDir).filePath(relative); }

    std::unique_ptr<LayoutFixture> fixture;
    QString appDir;
    QString downloadDir;
    InstallationLayout layout;
};

void TestFileReplace::init()
{
    fixture = std::make_unique<LayoutFixture>();
    QVERIFY(fixture->isValid());
    appDir = fixture->root;
    downloadDir = fixture->downloads;
    layout = fixture->layout;
}

void TestFileReplace::cleanup()
{ }

// Puts the download for `installed` into the download directory and
// returns its record; a packed file is downloaded as installed + ".gz".
FileReplaceSpecification TestFileReplace::record(
    const QString& installed, bool packed, const QByteArray& content, const QString& md5)
{
    FileReplaceSpecification result;
    result.section = QStringLiteral("client");
    if (packed) {
        result.fileName = installed + QStringLiteral(".gz");
        result.unzipFileName = installed;
        result.unzipMd5 = ContentSum::fromText(md5.isNull() ? FileTree::md5Hex(content).toUpper() : md5);
        result.unzipSize = content.size();
        FileTree::write(QDir(downloadDir).filePath(result.fileName), FileTree::gzip(content));
    } else {
        result.fileName = installed;
        FileTree::write(QDir(downloadDir).filePath(result.fileName), content);
    }
    return result;
}

void TestFileReplace::steps_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("oldCopyLeft");
    QTest::addColumn<bool>("packed");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<int>("behindLink"); // the download is a symbolic link to this many bytes; 0: a file
    QTest::addColumn<bool>("newFileLeft"); // a killed run left the new-file name

    const QString copy = QStringLiteral("FileCopyTaskSpecification %1");
    const QString unzip = QStringLiteral("FileUnzipTaskSpecification %1");
    const QString check = QStringLiteral("CheckSignatureTaskSpecification 0.2");
    const QString commit = QStringLiteral("FileCommitTaskSpecification 0.1");
    const QString remove = QStringLiteral("FileDeleteTaskSpecification 0.1");

    // A plain download on the installation's file system is linked and
    // committed inline, without subtasks.
    QTest::newRow("new plain") << false << false << false << QStringList {} << 0 << false;
    QTest::newRow("new packed") << false << false << true << QStringList { unzip.arg(0.7), check, commit }
                                << 0 << false;
    QTest::newRow("installed plain") << true << false << false << QStringList {} << 0 << false;
    QTest::newRow("installed plain, new file left") << true << false << false << QStringList {} << 0 << true;
    QTest::newRow("installed packed")
        << true << false << true << QStringList { unzip.arg(0.7), check, commit } << 0 << false;
    QTest::newRow("installed plain, old copy left")
        << true << true << false << QStringList { remove, copy.arg(0.8), commit } << 0 << false;
    QTest::newRow("installed packed, old copy left")
        << true << true << true << QStringList { remove, unzip.arg(0.6), check, commit } << 0 << false;
    // Where no link is made, a small file is still copied inline, and a
    // link in the download directory is never installed as a link.
    QTest::newRow("plain behind a symbolic link")
        << false << false << false << QStringList {} << 100 << false;
    QTest::newRow("large plain behind a symbolic link")
        << false << false << false << QStringList { copy.arg(0.9), commit } << 100000 << false;
}

void TestFileReplace::steps()
{
    QFETCH(bool, installed);
    QFETCH(bool, oldCopyLeft);
    QFETCH(bool, packed);
    QFETCH(QStringList, steps);
    QFETCH(int, behindLink);
    QFETCH(bool, newFileLeft);

    if (installed)
        QVERIFY(FileTree::write(app(installedName), "previous"));
    if (oldCopyLeft)
        QVERIFY(FileTree::write(app(oldName), "from an earlier update"));
    const QString unrelated = app(QStringLiteral("plugins/b.so"));
    QVERIFY(FileTree::write(unrelated, "unrelated"));
    FileTree::Snapshot before = FileTree::snapshot(appDir);
    // Removing the earlier update's copy is final.
    before.files.remove(oldName);
    if (newFileLeft)
        QVERIFY(FileTree::write(app(QStringLiteral("plugins/.voxmeadow-new-a.so")), "half"));

    const QByteArray content = behindLink > 0 ? QByteArray(behindLink, 'n') : QByteArray("new version");
    FileReplaceSpecification spec = record(installedName, packed, content);
    const QString download = QDir(downloadDir).filePath(spec.fileName);
    if (behindLink > 0) {
        QVERIFY(QFile::rename(download, download + QStringLiteral(".real")));
        QVERIFY(QFile::link(download + QStringLiteral(".real"), download));
    }
    QList<QString> deleteList { QStringLiteral("dropped") };
    RollbackDataList parentJournal;
    FileReplaceTaskSpecification task(spec, &deleteList, &parentJournal, layout, nullptr, 0.25);
    const TaskRun run = runTask(task);

    QCOMPARE(run.state, Finished);
    QCOMPARE(run.messages.value(0), QStringLiteral("add/replace %1").arg(spec.fileName));
    QCOMPARE(task.progress, 0.25);
    QStringList actualSteps;
    for (const TaskSpecification* sub : std::as_const(task.subTasks()))
        actualSteps << QStringLiteral("%1 %2")
                           .arg(QLatin1String(sub->metaObject()->className()))
                           .arg(sub->parentProgressRange);
    QCOMPARE(actualSteps, steps);

    QCOMPARE(FileTree::read(app(installedName)), content);
    QVERIFY(!QFileInfo(app(installedName)).isSymLink());
    // The download stays for the session, also when it was linked.
    QVERIFY(QFileInfo::exists(download));
    QCOMPARE(FileTree::read(unrelated), QByteArray("unrelated"));
    if (installed) {
        QCOMPARE(FileTree::read(app(oldName)), QByteArray("previous"));
        QCOMPARE(deleteList, (QList<QString> { "dropped", oldName }));
        QStringList journal = FileTree::describe(parentJournal, appDir);
        if (!oldCopyLeft)
            QCOMPARE(journal.takeFirst(), QStringLiteral("2 old"));
        QCOMPARE(journal, (QStringList { "3 plugins/a.so <- old/_old_a.so" }));
    } else {
        QCOMPARE(deleteList, QList<QString> { "dropped" });
        QCOMPARE(FileTree::describe(parentJournal, appDir), QStringList { "1 plugins/a.so" });
        QVERIFY(!QFileInfo::exists(app(QStringLiteral("old"))));
    }

    // The journal handed on undoes the replacement completely.
    QVERIFY(parentJournal.rollback(nullptr));
    const FileTree::Snapshot after = FileTree::snapshot(appDir);
    QVERIFY2(after == before, qPrintable(after.difference(before)));
}

void TestFileReplace::failedStepRestoresPreviousVersion_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<bool>("packed");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("text"); // %1 download, %2 new file, %3 old copy

    QTest::newRow("bad MD5 after unpacking") << true << true << "md5"
                                             << "Signature check failed for %2";
    QTest::newRow("bad MD5 of a new file") << false << true << "md5"
                                           << "Signature check failed for %2";
    QTest::newRow("corrupt gzip") << true << true << "corrupt"
                                  << "Could not unzip '%1' to '%2'";
    QTest::newRow("download missing") << true << false << "missing"
                                      << "Could not copy '%1' to '%2'";
    QTest::newRow("old copy cannot be kept") << true << false << "unkeepable"
                                             << "Could not keep '%4' as '%3'";
    QTest::newRow("old copy cannot be deleted") << true << false << "stuck"
                                                << "Could not delete '%3'";
}

void TestFileReplace::failedStepRestoresPreviousVersion()
{
    QFETCH(bool, installed);
    QFETCH(bool, packed);
    QFETCH(QString, fault);
    QFETCH(QString, text);

    QVERIFY(QDir().mkpath(app(QStringLiteral("plugins"))));
    if (installed) {
        QVERIFY(FileTree::write(app(installedName), "previous"));
        QVERIFY(QFile::setPermissions(app(installedName), mode(0750)));
    }
    if (fault == QLatin1String("stuck"))
        QVERIFY(FileTree::write(app(oldName + QStringLiteral("/inside")), "x"));
    // "old" takes no file: read-only for a user, immutable for root. (One
    // that is no directory would simply be made anew.)
    const QString old = app(QStringLiteral("old"));
    struct Unlock
    {
        QString path;
        ~Unlock()
        {
            if (!path.isEmpty())
                QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("-i"), path });
        }
    } unlock;
    if (fault == QLatin1String("unkeepable")) {
        QVERIFY(QDir().mkpath(old));
        if (::geteuid() != 0)
            QVERIFY(QFile::setPermissions(old, QFile::ReadOwner | QFile::ExeOwner));
        else if (QProcess::execute(QStringLiteral("chattr"), { QStringLiteral("+i"), old }) == 0)
            unlock.path = old;
        else
            QSKIP("root needs chattr +i to make a directory refuse files");
    }
    const FileTree::Snapshot before = FileTree::snapshot(appDir);

    FileReplaceSpecification spec = record(installedName, packed, "new version",
        fault == QLatin1String("md5") ? FileTree::md5Hex("other") : QString());
    const QString source = QDir(downloadDir).filePath(spec.fileName);
    if (fault == QLatin1String("corrupt"))
        QVERIFY(FileTree::write(source, FileTree::gzip("new version").left(15)));
    if (fault == QLatin1String("missing"))
        QVERIFY(QFile::remove(source));

    QList<QString> deleteList;
    RollbackDataList parentJournal;
    FileReplaceTaskSpecification task(spec, &deleteList, &parentJournal, layout, nullptr, 1.0);
    const TaskRun run = runTask(task);

    QCOMPARE(run.state, ErrorCanceled);
    const QString expected
        = QString(text)
              .replace(QLatin1String("%1"), source)
              .replace(QLatin1String("%2"), app(QStringLiteral("plugins/.voxmeadow-new-a.so")))
              .replace(QLatin1String("%3"), app(oldName))
              .replace(QLatin1String("%4"), app(installedName));
    QVERIFY2(run.messages.contains(expected), qPrintable(run.messages.join(QLatin1Char('\n'))));
    QVERIFY(!run.messages.join(QLatin1Char('\n')).contains(QLatin1String("warning")));
    QVERIFY(deleteList.isEmpty());
    QVERIFY(parentJournal.isEmpty());
    const FileTree::Snapshot after = FileTree::snapshot(appDir);
    QVERIFY2(after == before, qPrintable(after.difference(before)));
}

void TestFileReplace::permissionsAndOldCopies_data()
{
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("packed");
    QTest::addColumn<int>("previousMode"); // -1: not installed before
    QTest::addColumn<int>("downloadMode");
    QTest::addColumn<int>("installedMode");

    // The name rule, for new files and over any previous mode.
    QTest::newRow("new data file") << "data/readme.txt" << false << -1 << 0666 << 0644;
    QTest::newRow("new start script") << "vx3client_runscript.sh" << false << -1 << 0644 << 0755;
    QTest::newRow("the updater itself") << "update" << false << 0644 << 0644 << 0755;
    QTest::newRow("a Qt library the updater runs on") << "libQtCore.so.4" << false << 0644 << 0666 << 0755;
    QTest::newRow("library .so") << "lib/libx.so" << false << 0600 << 0600 << 0755;
    QTest::newRow("library .so.4, packed") << "lib/libx.so.4" << true << 0644 << 0644 << 0755;
    QTest::newRow("longer version suffix") << "lib/libx.so.4.8" << false << 0640 << 0640 << 0644;
    QTest::newRow("upper case suffix") << "lib/LIBX.SO" << false << 0644 << 0644 << 0644;
    // The execute bits of the replaced file, never write for group and others.
    QTest::newRow("program off the list") << "bin/firefox" << false << 0755 << 0644 << 0755;
    QTest::newRow("program off the list, packed") << "bin/python3" << true << 0755 << 0644 << 0755;
    QTest::newRow("owner-only program") << "bin/tool" << false << 0700 << 0644 << 0744;
    QTest::newRow("writable by others") << "data/readme.txt" << false << 0666 << 0644 << 0644;
    QTest::newRow("writable by the group") << "bin/error_report" << false << 0775 << 0644 << 0755;
}

void TestFileReplace::permissionsAndOldCopies()
{
    QFETCH(QString, installed);
    QFETCH(bool, packed);
    QFETCH(int, previousMode);
    QFETCH(int, downloadMode);
    QFETCH(int, installedMode);

    QVERIFY(QDir().mkpath(QFileInfo(app(installed)).path()));
    if (previousMode >= 0) {
        QVERIFY(FileTree::write(app(installed), "previous"));
        QVERIFY(QFile::setPermissions(app(installed), mode(previousMode)));
    }
    FileReplaceSpecification spec = record(installed, packed, "new version");
    QVERIFY(QFile::setPermissions(QDir(downloadDir).filePath(spec.fileName), mode(downloadMode)));
    const FileTree::Snapshot before = FileTree::snapshot(appDir);

    QList<QString> deleteList;
    RollbackDataList parentJournal;
    FileReplaceTaskSpecification task(spec, &deleteList, &parentJournal, layout, nullptr, 1.0);
    QCOMPARE(runTask(task).state, Finished);

    // The user bits depend on who runs the test; the owner bits do not.
    const QFileDevice::Permissions userBits
        = QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser;
    QCOMPARE(QFile::permissions(app(installed)) & ~userBits, mode(installedMode) & ~userBits);
    if (previousMode >= 0) {
        // Every old copy goes at the end of the update, the updater's own too.
        const QString oldCopy = QStringLiteral("old/_old_") + QFileInfo(installed).fileName();
        QCOMPARE(FileTree::read(app(oldCopy)), QByteArray("previous"));
        QCOMPARE(deleteList, QList<QString> { oldCopy });
    }
    // The rollback brings back the previous content with its mode.
    QVERIFY(parentJournal.rollback(nullptr));
    const FileTree::Snapshot after = FileTree::snapshot(appDir);
    QVERIFY2(after == before, qPrintable(after.difference(before)));
}

QTEST_GUILESS_MAIN(TestFileReplace)
#include "tst_filereplace.moc"
