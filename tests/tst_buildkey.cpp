#include "filetree.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray der(quint8 tag, const QByteArray& content)
{
    QByteArray head(1, char(tag));
    const int n = int(content.size());
    if (n < 0x80)
        head += char(n);
    else if (n < 0x100)
        head += QByteArray("\x81") + char(n);
    else
        head += QByteArray("\x82") + char(n >> 8) + char(n & 0xff);
    return head + content;
}

const QByteArray rsaAlgorithm = der(0x30, QByteArray::fromHex("06092a864886f70d0101010500"));

QByteArray keyFile(const QString& name)
{
    return FileTree::read(QStringLiteral(TEST_SOURCE_DIR "/keys/") + name);
}

} // namespace

// The build's check of the key file it embeds into the updater, and the
// release build's refusals, which come before anything is built.
class TestBuildKey : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void embedding_data();
    void embedding();
    void releaseBuildRefusal_data();
    void releaseBuildRefusal();
};

void TestBuildKey::embedding_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("complaint");

    const QByteArray publicKey = keyFile("demo_public.der");
    const QByteArray privateKey = keyFile("demo_private.der");
    QTest::newRow("PKCS #1 public DER") << publicKey << QString();
    QTest::newRow("SubjectPublicKeyInfo DER")
        << der(0x30, rsaAlgorithm + der(0x03, QByteArray(1, '\0') + publicKey)) << QString();
    QTest::newRow("PKCS #1 private DER") << privateKey << "PRIVATE key";
    QTest::newRow("PKCS #8 private DER")
        << der(0x30, der(0x02, QByteArray(1, '\0')) + rsaAlgorithm + der(0x04, privateKey)) << "PRIVATE key";
    QTest::newRow("PEM private") << keyFile("demo_private.pem") << "PRIVATE key";
    QTest::newRow("PEM public") << "-----BEGIN RSA PUBLIC KEY-----\n" + publicKey.toBase64()
            + "\n-----END RSA PUBLIC KEY-----\n"
                                << "is not DER";
    QTest::newRow("public DER cut short") << publicKey.left(publicKey.size() - 1) << "is not DER";
    QTest::newRow("SEQUENCE of one INTEGER") << der(0x30, der(0x02, "\x01")) << "not an RSA public key";
}

void TestBuildKey::embedding()
{
    QFETCH(QByteArray, key);
    QFETCH(QString, complaint);

    QTemporaryDir dir;
    QVERIFY(FileTree::write(dir.filePath("key.der"), key));
    QProcess cmake;
    cmake.setProcessChannelMode(QProcess::MergedChannels);
    cmake.start(QStringLiteral(CMAKE_COMMAND_PATH),
        { "-DKEY_FILE=" + dir.filePath("key.der"), "-DOUTPUT=" + dir.filePath("key.cpp"), "-P",
            QStringLiteral(TEST_SOURCE_DIR "/cmake/EmbedPublicKey.cmake") });
    QVERIFY(cmake.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(cmake.readAll()).simplified();

    QCOMPARE(cmake.exitCode() == 0, complaint.isEmpty());
    QCOMPARE(QFileInfo::exists(dir.filePath("key.cpp")), complaint.isEmpty());
    QVERIFY2(output.contains(complaint), qPrintable(output));
}

void TestBuildKey::releaseBuildRefusal_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("complaint");

    const QStringList own = { "--public-key", "own.der", "--release-key", "own.pub", "--threshold", "1" };
    const QString demoKey = QStringLiteral(TEST_SOURCE_DIR "/keys/demo_ed25519_2.pub");
    QTest::newRow("no update host") << own << "--update-host is required";
    QTest::newRow("loopback address")
        << QStringList { "--update-host", "127.0.0.2" } + own << "is this machine";
    QTest::newRow("localhost") << QStringList { "--update-host", "LocalHost" } + own << "is this machine";
    QTest::newRow("name beginning with 127") << QStringList { "--update-host", "127.example.com",
        "--public-key", "demo.der", "--release-key", "own.pub", "--threshold", "1" }
                                             << "demo.der is a public demo key";
    QTest::newRow("local server allowed, demo key") << QStringList { "--update-host", "127.0.0.1",
        "--allow-local-server", "--public-key", "demo.der", "--release-key", "own.pub", "--threshold", "1" }
                                                    << "demo.der is a public demo key";
    QTest::newRow("demo release key in a list") << QStringList { "--update-host", "update.example.com",
        "--public-key", "own.der", "--release-key", "own.pub;" + demoKey, "--threshold", "1" }
                                                << "demo_ed25519_2.pub is a public demo key";
    QTest::newRow("development build directory")
        << QStringList { "--update-host", "update.example.com", "--build-dir", "dev" } + own
        << "holds a development build";
}

void TestBuildKey::releaseBuildRefusal()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, complaint);

    // Relative paths name files here, not in the repository.
    QTemporaryDir dir;
    QVERIFY(FileTree::write(dir.filePath("demo.der"), keyFile("demo_public.der")));
    QVERIFY(FileTree::write(dir.filePath("own.der"), "not the demo key"));
    QVERIFY(FileTree::write(dir.filePath("own.pub"), QByteArray(64, 'a') + '\n'));
    QVERIFY(FileTree::write(dir.filePath("dev/CMakeCache.txt"), "BUILD_TESTING:BOOL=ON\n"));
    QProcess script;
    script.setProcessChannelMode(QProcess::MergedChannels);
    script.setWorkingDirectory(dir.path());
    script.start(
        "bash", QStringList { QStringLiteral(TEST_SOURCE_DIR "/scripts/release-build.sh") } + arguments);
    QVERIFY(script.waitForFinished(60000));
    const QString output = QString::fromLocal8Bit(script.readAll()).simplified();

    QCOMPARE(script.exitCode(), 2);
    QVERIFY2(output.contains(complaint), qPrintable(output));
}

QTEST_GUILESS_MAIN(TestBuildKey)
#include "tst_buildkey.moc"
