#include "app/instancelock.h"
#include "app/privateruntimedirectory.h"
#include "manifest/installationlayout.h"
#include "app/processtools.h"
#include "app/singleinstancechecker.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QtTest>

#include "filetree.h"

#include <cstring>
#include <memory>
#include <thread>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// CRC-16 of ISO 3309 (X.25), computed bit by bit as an independent reference.
quint16 iso3309Crc(const QByteArray& data)
{
    quint16 crc = 0xffff;
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0x8408) : quint16(crc >> 1);
    }
    return quint16(~crc);
}

QString uniqueServerName()
{
    static int counter = 0;
    return QStringLiteral("voxmeadow-test-%1-%2").arg(::getpid()).arg(++counter);
}

// Leaves a socket file that nobody listens on, as a killed updater does.
bool plantStaleSocket(const QString& path)
{
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address;
    std::memset(&address, 0, sizeof(address));
    address.sun_family = AF_UNIX;
    if (size_t(encoded.size()) >= sizeof(address.sun_path))
        return false;
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bound;
}

// Where the local server of the given name places its socket file.
QString socketPath(const QString& name)
{
    QLocalServer server;
    if (!server.listen(name))
        return QString();
    const QString path = server.fullServerName();
    server.close();
    return path;
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void referenceCrc();
    void serverName_data();
    void serverName();
    void probeWithoutServer();
    void probeReachesLiveServer();
    void serverReadsMessage_data();
    void serverReadsMessage();
    void liveServerKeepsItsName();
    void staleSocketIsReplaced();
    void privateDirectory_data();
    void privateDirectory();
    void lockIsExclusive();
    void claim_data();
    void claim();
    void clientStartsFromInstallationDir_data();
    void clientStartsFromInstallationDir();
};

void TestSingleInstance::referenceCrc()
{
    QCOMPARE(iso3309Crc("123456789"), quint16(0x906e));
}

void TestSingleInstance::serverName_data()
{
    QTest::addColumn<QString>("applicationFilePath");
    QTest::addColumn<QString>("homePath");
    QTest::addColumn<QString>("checksummed");

    // The path is compared without regard to case, the home directory is not.
    QTest::newRow("lower-case path") << "/opt/Voxmeadow 3/UPDATE"
                                     << "/home/Ann"
                                     << "optvoxmeadow 3updatehomeAnn";
    QTest::newRow("colons removed") << "/srv/a:b/update"
                                    << "/root"
                                    << "srvabupdateroot";
    QTest::newRow("non-ascii") << QString::fromUtf8("/opt/Vöx/update") << "/home/zoë"
                               << QString::fromUtf8("optvöxupdatehomezoë");
}

void TestSingleInstance::serverName()
{
    QFETCH(QString, applicationFilePath);
    QFETCH(QString, homePath);
    QFETCH(QString, checksummed);

    const QString expected = QStringLiteral("VX3ClientUpdate")
        + QString::asprintf("%x", unsigned(iso3309Crc(checksummed.toUtf8())));
    QCOMPARE(SingleInstanceChecker::getLocalServerName(applicationFilePath, homePath), expected);
}

void TestSingleInstance::probeWithoutServer()
{
    QVERIFY(!SingleInstanceChecker::checkExistingInstance(QStringLiteral("#"), uniqueServerName()));
}

void TestSingleInstance::probeReachesLiveServer()
{
    const QString name = uniqueServerName();
    SingleInstanceChecker checker(nullptr, name);
    QVERIFY(checker.isListening());
    QSignalSpy activated(&checker, &SingleInstanceChecker::otherInstanceActivate);

    QVERIFY(SingleInstanceChecker::checkExistingInstance(QStringLiteral("#"), name));
    QVERIFY(activated.wait());
    QCOMPARE(activated.count(), 1);
    QCOMPARE(activated.at(0).at(0).toString(), QStringLiteral("#"));

    // The server serves further probes after the first.
    QVERIFY(SingleInstanceChecker::checkExistingInstance(QStringLiteral("#"), name));
    QVERIFY(activated.wait());
    QCOMPARE(activated.count(), 2);
}

void TestSingleInstance::serverReadsMessage_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    QTest::newRow("hash") << QByteArray("#") << "#";
    QTest::newRow("other text") << QByteArray("hello") << "hello";
    QTest::newRow("ends at nul") << QByteArray("ab\0cd", 5) << "ab";
    QTest::newRow("8-bit") << QByteArray("\xe9") << QString::fromUtf8("\u00e9");
}

void TestSingleInstance::serverReadsMessage()
{
    QFETCH(QByteArray, bytes);

    const QString name = uniqueServerName();
    SingleInstanceChecker checker(nullptr, name);
    QSignalSpy activated(&checker, &SingleInstanceChecker::otherInstanceActivate);

    QLocalSocket socket;
    socket.connectToServer(name);
    QVERIFY(socket.waitForConnected(5000));
    socket.write(bytes);
    QVERIFY(socket.waitForBytesWritten(5000));
    QVERIFY(activated.wait());
    QCOMPARE(activated.count(), 1);
    QTEST(activated.at(0).at(0).toString(), "message");
}

void TestSingleInstance::liveServerKeepsItsName()
{
    const QString name = uniqueServerName();
    SingleInstanceChecker first(nullptr, name);
    QVERIFY(first.isListening());
    SingleInstanceChecker second(nullptr, name);
    QVERIFY(!second.isListening());

    QSignalSpy firstActivated(&first, &SingleInstanceChecker::otherInstanceActivate);
    QSignalSpy secondActivated(&second, &SingleInstanceChecker::otherInstanceActivate);
    QVERIFY(SingleInstanceChecker::checkExistingInstance(QStringLiteral("#"), name));
    QVERIFY(firstActivated.wait());
    QCOMPARE(secondActivated.count(), 0);
}

void TestSingleInstance::staleSocketIsReplaced()
{
    const QString name = uniqueServerName();
    const QString path = socketPath(name);
    QVERIFY(!path.isEmpty());
    QVERIFY(plantStaleSocket(path));
    QVERIFY(QFileInfo::exists(path));
    QVERIFY(!SingleInstanceChecker::checkExistingInstance(QStringLiteral("#"), name));

    SingleInstanceChecker checker(nullptr, name);
    QVERIFY(checker.isListening());
    QSignalSpy activated(&checker, &SingleInstanceChecker::otherInstanceActivate);
    QVERIFY(SingleInstanceChecker::checkExistingInstance(QStringLiteral("#"), name));
    QVERIFY(activated.wait());

    // Only the owner may connect.
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup
        | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    QCOMPARE(QFileInfo(path).permissions() & others, QFile::Permissions());
}

void TestSingleInstance::privateDirectory_data()
{
    QTest::addColumn<QString>("runtimeSetUp");
    QTest::addColumn<QString>("firstSetUp");
    QTest::addColumn<QString>("expected");

    // Set-ups: "" absent, "private" a 0700 directory, "open" 0755, "link" a
    // link to a private directory, "file" a plain file, "foreign" a 0700
    // directory of another user.
    QTest::newRow("runtime dir private") << "private"
                                         << ""
                                         << "runtime";
    QTest::newRow("runtime dir unset") << ""
                                       << ""
                                       << "first";
    QTest::newRow("runtime dir open to others") << "open"
                                                << ""
                                                << "first";
    QTest::newRow("runtime dir is a link") << "link"
                                           << ""
                                           << "first";
    QTest::newRow("runtime dir of another user") << "foreign"
                                                 << ""
                                                 << "first";
    QTest::newRow("own dir kept from before") << ""
                                              << "private"
                                              << "first";
    QTest::newRow("own dir with a wider mode") << ""
                                               << "open"
                                               << "first";
    QTest::newRow("own name taken by a file") << ""
                                              << "file"
                                              << "second";
    QTest::newRow("own name is a link") << ""
                                        << "link"
                                        << "second";
    QTest::newRow("own name taken by another user") << ""
                                                    << "foreign"
                                                    << "second";
}

void TestSingleInstance::privateDirectory()
{
    QFETCH(QString, runtimeSetUp);
    QFETCH(QString, firstSetUp);
    QFETCH(QString, expected);

    if ((runtimeSetUp == "foreign" || firstSetUp == "foreign") && ::geteuid() != 0)
        QSKIP("needs root to make a directory of another user");
    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QString target = base.filePath("target");
    QVERIFY(QDir().mkdir(target) && ::chmod(QFile::encodeName(target).constData(), 0700) == 0);
    auto setUp = [&](const QString& path, const QString& kind) {
        const QByteArray name = QFile::encodeName(path);
        const int mode = kind == "open" ? 0755 : 0700;
        if (kind == "private" || kind == "open" || kind == "foreign")
            QVERIFY(::mkdir(name.constData(), mode) == 0 && ::chmod(name.constData(), mode) == 0);
        if (kind == "foreign")
            QVERIFY(::chown(name.constData(), 65534, 65534) == 0);
        if (kind == "link")
            QVERIFY(QFile::link(target, path));
        if (kind == "file")
            QVERIFY(FileTree::write(path, "x"));
    };
    const QHash<QString, QString> paths { { "runtime", base.filePath("runtime") },
        { "first", base.filePath("first") }, { "second", base.filePath("second") } };
    setUp(paths["runtime"], runtimeSetUp);
    setUp(paths["first"], firstSetUp);

    const QString found = PrivateRuntimeDirectory::locate(
        runtimeSetUp.isEmpty() ? QString() : paths["runtime"], { paths["first"], paths["second"] });
    QCOMPARE(found, paths[expected]);
    QVERIFY(PrivateRuntimeDirectory::isPrivate(found));
}

void TestSingleInstance::lockIsExclusive()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("name.lock");
    auto first = std::make_unique<InstanceLock>(path);
    InstanceLock second(path);
    QVERIFY(first->tryLock());
    QVERIFY(!second.tryLock());
    first.reset();
    QVERIFY(second.tryLock());
    QVERIFY(!InstanceLock(dir.filePath("missing/name.lock")).isUsable());
}

void TestSingleInstance::claim_data()
{
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("holderListens");
    QTest::addColumn<bool>("holderEnds");
    QTest::addColumn<int>("handOverMs");
    QTest::addColumn<bool>("claimed");

    QTest::newRow("free") << false << false << false << 30000 << true;
    QTest::newRow("held, holder answers") << true << true << false << 30000 << false;
    QTest::newRow("held, holder ends while we wait") << true << false << true << 30000 << true;
    QTest::newRow("held, holder silent") << true << false << false << 300 << false;
}

void TestSingleInstance::claim()
{
    QFETCH(bool, held);
    QFETCH(bool, holderListens);
    QFETCH(bool, holderEnds);
    QFETCH(int, handOverMs);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString lockPath = dir.filePath("name.lock");
    const QString serverPath = dir.filePath("name");
    auto holder = std::make_unique<InstanceLock>(lockPath);
    if (held)
        QVERIFY(holder->tryLock());
    std::unique_ptr<SingleInstanceChecker> server;
    if (holderListens)
        server = std::make_unique<SingleInstanceChecker>(nullptr, serverPath);
    std::thread ending;
    if (holderEnds)
        ending = std::thread([&holder] { holder.reset(); });

    InstanceLock lock(lockPath);
    const bool claimed = SingleInstanceChecker::claim(lock, QStringLiteral("#"), serverPath, handOverMs);
    if (ending.joinable())
        ending.join();
    QTEST(claimed, "claimed");
    QCOMPARE(lock.isLocked(), claimed);
    if (server) {
        QSignalSpy activated(server.get(), &SingleInstanceChecker::otherInstanceActivate);
        QTRY_COMPARE(activated.count(), 1);
    }
}

void TestSingleInstance::clientStartsFromInstallationDir_data()
{
    QTest::addColumn<QString>("subdirectory");

    QTest::newRow("plain path") << "install";
    QTest::newRow("path with blanks") << "my install dir";
}

void TestSingleInstance::clientStartsFromInstallationDir()
{
    QFETCH(QString, subdirectory);

    QTemporaryDir base;
    QVERIFY(base.isValid());
    const QString installation = base.filePath(subdirectory);
    QVERIFY(QDir().mkdir(installation));
    const QString script = installation + QLatin1Char('/') + InstallationLayout::clientStartScriptName();
    {
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\necho \"$#\" > \"$(dirname \"$0\")/started\"\n");
    }
    QVERIFY(QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    ProcessTools::startVx3Client(installation);
    const QString marker = installation + QStringLiteral("/started");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(marker).size() > 0, 10000);
    QFile started(marker);
    QVERIFY(started.open(QIODevice::ReadOnly));
    QCOMPARE(started.readAll().trimmed(), QByteArray("0")); // no arguments
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
