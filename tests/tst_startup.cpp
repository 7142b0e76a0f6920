#include "manifest/installationlayout.h"
#include "app/singleinstancechecker.h"
#include "update/updateengine.h"
#include "filetree.h"

#include <QLocalServer>
#include <QtTest>

namespace {

const int StartTimeoutMs = 30000;

// An installation directory holding a copy of the updater.
class Installation
{
public:
    Installation()
    {
        if (!dir.isValid())
            return;
        executable = dir.filePath(QStringLiteral("update"));
        if (!QFile::copy(QStringLiteral(UPDATE_EXECUTABLE), executable))
            executable.clear();
    }
    // Killed updaters leave their socket behind.
    ~Installation()
    {
        if (isValid())
            QLocalServer::removeServer(serverName());
    }
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    bool isValid() const { return !executable.isEmpty(); }
    QString path(const QString& relative) const { return dir.filePath(relative); }
    QString serverName() const
    {
        return SingleInstanceChecker::getLocalServerName(QFileInfo(executable).canonicalFilePath(), QDir::homePath());
    }
    bool isAnswering() const { return SingleInstanceChecker::checkExistingInstance(QStringLiteral("#"), serverName()); }

    void start(QProcess& process, const QStringList& arguments) const
    {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(environment);
        process.start(executable, arguments);
    }

private:
    QTemporaryDir dir;
    QString executable;
};

// Arguments that need no update server.
const QStringList OfflineArguments = {QStringLiteral("client_linux_amd64"), QStringLiteral("5")};

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
    void leftoverCleanup_data();
    void leftoverCleanup();
};

void TestStartup::removeOldFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QStringList removed = {"_old_update", "_old_libQtCore.so.4", "_old_libqtaccessiblewidgets.so"};
    const QStringList kept = {"update", "_old_update.txt", "_old_Update", "_old_other", "old_libqgif.so"};
    for (const QString& name : removed + kept)
        QVERIFY(FileTree::write(dir.filePath(name), {}));

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
    installation.start(second, {QStringLiteral("--nouser"), QStringLiteral("client_linux_amd64"), QStringLiteral("12a")});
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

    QTest::newRow("old holds only leftovers") << QStringList({"_old_libQtCore.so.4", "_old_libqgif.so"}) << false;
    QTest::newRow("old holds another file") << QStringList({"_old_libQtGui.so.4", "other.txt"}) << true;
}

void TestStartup::leftoverCleanup()
{
    QFETCH(QStringList, oldDirectoryFiles);
    QFETCH(bool, oldDirectoryStays);

    Installation installation;
    QVERIFY(installation.isValid());
    QStringList leftovers = {"_old_libQtNetwork.so.4", "imageformats/_old_libqjpeg.so",
                             "accessible/_old_libqtaccessiblewidgets.so"};
    for (const QString& name : oldDirectoryFiles) {
        if (name.startsWith(InstallationLayout::oldCopyPrefix()))
            leftovers << QStringLiteral("old/") + name;
    }
    const QStringList kept = {"imageformats/readme.txt", "_old_client.bin"};
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

    // A second instance cleans up too, before it hands over to the first.
    plant();
    QProcess second;
    installation.start(second, OfflineArguments);
    const bool secondEnded = second.waitForFinished(StartTimeoutMs);
    stop(second);
    stop(first);
    QVERIFY(secondEnded);
    QCOMPARE(second.exitCode(), 0);
    check();
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
