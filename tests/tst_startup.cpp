#include "manifest/installationlayout.h"
#include "app/singleinstancechecker.h"
#include "update/updateengine.h"
#include "filetree.h"

#include <QLocalServer>
#include <QSignalSpy>
#include <QtTest>

namespace {

const int StartTimeoutMs = 30000;

// An installation directory holding a copy of the updater, started with a
// private runtime directory of its own.
class Installation
{
public:
    Installation()
    {
        if (!dir.isValid() || !QDir().mkdir(runtime())
            || !QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
            return;
        executable = dir.filePath(QStringLiteral("update"));
        // Checked before the window opens; nothing is fetched from it.
        if (!QFile::copy(QStringLiteral(UPDATE_EXECUTABLE), executable)
            || !FileTree::write(dir.filePath(QStringLiteral("mirrors.ini")),
                "[mirrors]\nsize=1\n1\\mirror=m\n[m]\nurl=http://127.0.0.1:9\n"))
            executable.clear();
    }

    bool isValid() const { return !executable.isEmpty(); }
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString runtime() const { return dir.filePath(QStringLiteral("runtime")); }
    QString serverName() const
    {
        return SingleInstanceChecker::getLocalServerName(
            QFileInfo(executable).canonicalFilePath(), QDir::homePath());
    }
    bool isAnswering() const
    {
        return SingleInstanceChecker::checkExistingInstance(
            QStringLiteral("#"), runtime() + QLatin1Char('/') + serverName());
    }

    void start(QProcess& process, const QStringList& arguments, const QString& tmpDir = QString()) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime());
        if (!tmpDir.isEmpty())
            environment.insert(QStringLiteral("TMPDIR"), tmpDir);
        process.setProcessEnvironment(environment);
        process.start(executable, arguments);
    }

private:
    QTemporaryDir dir;
    QString executable;
};

// Arguments that need no update server.
const QStringList OfflineArguments = { QStringLiteral("client_linux_amd64"), QStringLiteral("5") };

void stop(QProcess& process)
{
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(StartTimeoutMs);
    }
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void removeOldFiles();
    void secondInstanceExitsWithZero();
    void guardSurvivesKilledInstance();
    void simultaneousStarts();
    void invalidProxyComesFirst();
    void secondStart_data();
    void secondStart();
    void leftoverCleanup_data();
    void leftoverCleanup();
};

void TestStartup::removeOldFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList removed = { "_old_update", "_old_libQtCore.so.4", "_old_libqtaccessiblewidgets.so" };
    const QStringList kept = { "update", "_old_update.txt", "_old_Update", "_old_other", "old_libqgif.so" };
    for (const QString& name : removed + kept)
        QVERIFY(FileTree::write(dir.filePath(name), {}));

    // An "old" that links elsewhere: what it points at is not the updater's.
    const QString installation = dir.filePath(QStringLiteral("installation"));
    QVERIFY(QDir().mkpath(installation) && QFile::link(dir.path(), QDir(installation).filePath("old")));
    UpdateEngine::removeOldFiles(QDir(installation).filePath("old"));
    for (const QString& name : removed)
        QVERIFY2(QFileInfo::exists(dir.filePath(name)), qPrintable(name));

    UpdateEngine::removeOldFiles(dir.path());
    UpdateEngine::removeOldFiles(dir.filePath(QStringLiteral("missing")));

    for (const QString& name : removed)
        QVERIFY2(!QFileInfo::exists(dir.filePath(name)), qPrintable(name));
    for (const QString& name : kept)
        QVERIFY2(QFileInfo::exists(dir.filePath(name)), qPrintable(name));
}

void TestStartup::secondInstanceExitsWithZero()
{
    Installation installation;
    QVERIFY(installation.isValid());

    QProcess first;
    installation.start(first, OfflineArguments);
    QTRY_VERIFY_WITH_TIMEOUT(installation.isAnswering(), StartTimeoutMs);

    // Its arguments would fail to parse; a second instance never reads them.
    QProcess second;
    installation.start(
        second, { QStringLiteral("--nouser"), QStringLiteral("client_linux_amd64"), QStringLiteral("12a") });
    const bool secondEnded = second.waitForFinished(StartTimeoutMs);
    stop(second);
    QVERIFY(secondEnded);
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    stop(first);
}

void TestStartup::guardSurvivesKilledInstance()
{
    Installation installation;
    QVERIFY(installation.isValid());

    QProcess killed;
    installation.start(killed, OfflineArguments);
    QTRY_VERIFY_WITH_TIMEOUT(installation.isAnswering(), StartTimeoutMs);
    stop(killed); // SIGKILL: the socket stays behind
    QVERIFY(!installation.isAnswering());

    QProcess first;
    installation.start(first, OfflineArguments);
    QTRY_VERIFY_WITH_TIMEOUT(installation.isAnswering(), StartTimeoutMs);

    QProcess second;
    installation.start(second, OfflineArguments);
    const bool secondEnded = second.waitForFinished(StartTimeoutMs);
    stop(second);
    QVERIFY(secondEnded);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    stop(first);
}

void TestStartup::leftoverCleanup_data()
{
    QTest::addColumn<QStringList>("oldDirectoryFiles");
    QTest::addColumn<bool>("oldDirectoryStays");

    QTest::newRow("old holds only leftovers")
        << QStringList({ "_old_libQtCore.so.4", "_old_libqgif.so" }) << false;
    QTest::newRow("old holds another file") << QStringList({ "_old_libQtGui.so.4", "other.txt" }) << true;
}

void TestStartup::leftoverCleanup()
{
    QFETCH(QStringList, oldDirectoryFiles);
    QFETCH(bool, oldDirectoryStays);

    Installation installation;
    QVERIFY(installation.isValid());
    QStringList leftovers = { "_old_libQtNetwork.so.4", "imageformats/_old_libqjpeg.so",
        "accessible/_old_libqtaccessiblewidgets.so" };
    for (const QString& name : oldDirectoryFiles) {
        if (name.startsWith(InstallationLayout::oldCopyPrefix()))
            leftovers << QStringLiteral("old/") + name;
    }
    const QStringList kept = { "imageformats/readme.txt", "_old_client.bin" };
    auto plant = [&] {
        for (const QString& name : leftovers + kept)
            QVERIFY(FileTree::write(installation.path(name), {}));
        for (const QString& name : oldDirectoryFiles)
            QVERIFY(FileTree::write(installation.path(QStringLiteral("old/") + name), {}));
    };
    auto check = [&] {
        for (const QString& name : leftovers)
            QVERIFY2(!QFileInfo::exists(installation.path(name)), qPrintable(name));
        for (const QString& name : kept)
            QVERIFY2(QFileInfo::exists(installation.path(name)), qPrintable(name));
        QCOMPARE(QFileInfo::exists(installation.path(QStringLiteral("old"))), oldDirectoryStays);
    };

    // The first instance cleans up before it starts listening.
    plant();
    QProcess first;
    installation.start(first, OfflineArguments);
    QTRY_VERIFY_WITH_TIMEOUT(installation.isAnswering(), StartTimeoutMs);
    check();

    // A second instance hands over to the first and touches nothing: the
    // first may still need those copies to roll back.
    plant();
    const FileTree::Snapshot planted = FileTree::snapshot(installation.path(QString()));
    QProcess second;
    installation.start(second, OfflineArguments);
    const bool secondEnded = second.waitForFinished(StartTimeoutMs);
    stop(second);
    stop(first);
    QVERIFY(secondEnded);
    QCOMPARE(second.exitCode(), 0);
    const FileTree::Snapshot after = FileTree::snapshot(installation.path(QString()));
    QVERIFY2(after == planted, qPrintable(after.difference(planted)));
}

void TestStartup::simultaneousStarts()
{
    // Both processes start before either has taken the guard; exactly one
    // may go on, every time.
    const int rounds = 12;
    for (int round = 0; round < rounds; ++round) {
        Installation installation;
        QVERIFY(installation.isValid());
        QProcess a;
        QProcess b;
        installation.start(a, OfflineArguments);
        installation.start(b, OfflineArguments);
        QVERIFY(QTest::qWaitFor(
            [&] { return a.state() == QProcess::NotRunning || b.state() == QProcess::NotRunning; },
            StartTimeoutMs));
        QProcess& ended = a.state() == QProcess::NotRunning ? a : b;
        QProcess& running = &ended == &a ? b : a;
        QCOMPARE(ended.exitStatus(), QProcess::NormalExit);
        QCOMPARE(ended.exitCode(), 0);
        // The one left serves the guard.
        QTRY_VERIFY_WITH_TIMEOUT(installation.isAnswering(), StartTimeoutMs);
        QCOMPARE(running.state(), QProcess::Running);
        stop(a);
        stop(b);
    }
}

void TestStartup::invalidProxyComesFirst()
{
    Installation installation;
    QVERIFY(installation.isValid());
    QVERIFY(FileTree::write(installation.path("update.ini"), "[update]\nproxy=proxy.example:8080\n"));

    // Without arguments the version query would come first, with its own box.
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    installation.start(process, {});
    QByteArray output;
    const bool reported = QTest::qWaitFor(
        [&] {
            output += process.readAll();
            return output.contains("Error: 'proxy.example:8080' is an invalid proxy specification")
                || process.state() == QProcess::NotRunning;
        },
        StartTimeoutMs);
    stop(process);
    QVERIFY2(reported && output.contains("invalid proxy"), output.constData());
    QVERIFY2(!output.contains("query"), output.constData());
}

void TestStartup::secondStart_data()
{
    QTest::addColumn<bool>("otherTmpDir");
    QTest::addColumn<bool>("squatted");

    QTest::newRow("other TMPDIR") << true << false;
    QTest::newRow("name squatted in the temporary directory") << false << true;
}

void TestStartup::secondStart()
{
    QFETCH(bool, otherTmpDir);
    QFETCH(bool, squatted);

    Installation installation;
    QVERIFY(installation.isValid());
    const QString tmpA = installation.path(QStringLiteral("tmpA"));
    const QString tmpB = installation.path(QStringLiteral("tmpB"));
    QVERIFY(QDir().mkpath(tmpA) && QDir().mkpath(tmpB));
    // Someone else listens under the updater's name where a bare name would
    // place it; it must neither be told "#" nor stop the updater.
    QLocalServer squatter;
    QSignalSpy squatterContacted(&squatter, &QLocalServer::newConnection);
    if (squatted)
        QVERIFY(squatter.listen(tmpA + QLatin1Char('/') + installation.serverName()));

    QProcess first;
    installation.start(first, OfflineArguments, tmpA);
    QTRY_VERIFY_WITH_TIMEOUT(installation.isAnswering(), StartTimeoutMs);
    QProcess second;
    installation.start(second, OfflineArguments, otherTmpDir ? tmpB : tmpA);
    const bool secondEnded = second.waitForFinished(StartTimeoutMs);
    stop(second);
    QVERIFY(secondEnded);
    QCOMPARE(second.exitCode(), 0);
    QCOMPARE(first.state(), QProcess::Running);
    QCOMPARE(squatterContacted.count(), 0);
    stop(first);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
