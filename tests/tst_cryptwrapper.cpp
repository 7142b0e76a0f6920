#include "demosigner.h"
#include "verify/cryptwrapper.h"
#include "verify/publickey.h"
#include "filetree.h"

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const unsigned char* bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}

struct KeyHolder
{
    Rsa_key key {};
    bool loaded = false;
    ~KeyHolder()
    {
        if (loaded)
            rsa_free(&key);
    }
};

bool verifies(Rsa_key* key, const QByteArray& message, const QByteArray& signature)
{
    return verify_msg(key, bytes(message), static_cast<unsigned long>(message.size()), bytes(signature),
        static_cast<unsigned long>(signature.size()));
}

// A malformed signature makes libtomcrypt report an error rather than a
// mismatch; both are a rejection.
bool accepts(Rsa_key* key, const QByteArray& message, const QByteArray& signature)
{
    try {
        return verifies(key, message, signature);
    } catch (const crypt_exception&) {
        return false;
    }
}

QByteArray sign(Rsa_key* key, const QByteArray& message)
{
    QByteArray signature(512, '\0');
    unsigned long length = static_cast<unsigned long>(signature.size());
    sign_msg(key, bytes(message), static_cast<unsigned long>(message.size()),
        reinterpret_cast<unsigned char*>(signature.data()), &length);
    signature.resize(static_cast<int>(length));
    return signature;
}

} // namespace

class TestCryptWrapper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void signAndVerifyRoundTrip();
    void keyFilesRoundTrip();
    void builtInKeyImports();
    void opensslSignatures_data();
    void opensslSignatures();
    void releaseSignatureVerifiesWithOpenssl();
    void wrongSignatureLengthThrows_data();
    void wrongSignatureLengthThrows();
    void errorsCarryContext();

private:
    QTemporaryDir tempDir;
};

void TestCryptWrapper::initTestCase()
{
    QVERIFY(tempDir.isValid());
    // Before crypt_init() a key operation throws instead of ending the process.
    Rsa_key key {};
    QVERIFY_THROWS_EXCEPTION(crypt_exception, load_key(&key, PUBLIC_KEY, PUBLIC_KEY_SIZE));

    crypt_init();
    // A second call must be harmless and keep the indices.
    const int hash = hash_idx;
    const int prng = prng_idx;
    crypt_init();
    QCOMPARE(hash_idx, hash);
    QCOMPARE(prng_idx, prng);
    QVERIFY(hash_idx >= 0);
    QVERIFY(prng_idx >= 0);
}

void TestCryptWrapper::signAndVerifyRoundTrip()
{
    KeyHolder holder;
    create_key(&holder.key, 2048);
    holder.loaded = true;
    QCOMPARE(rsa_get_size(&holder.key), 256);

    const QByteArray message("[files]\nbin/client=abc::12\n");
    const QByteArray signature = sign(&holder.key, message);
    QCOMPARE(signature.size(), 256);
    QVERIFY(verifies(&holder.key, message, signature));
    // A fresh salt makes every signature different, and all of them verify.
    QVERIFY(sign(&holder.key, message) != signature);

    QByteArray tamperedMessage = message;
    tamperedMessage[3] = 'X';
    QVERIFY(!verifies(&holder.key, tamperedMessage, signature));
    QByteArray tamperedSignature = signature;
    tamperedSignature[60] = static_cast<char>(tamperedSignature[60] ^ 0x01);
    QVERIFY(!accepts(&holder.key, message, tamperedSignature));
}

void TestCryptWrapper::keyFilesRoundTrip()
{
    KeyHolder created;
    create_key(&created.key, 2048);
    created.loaded = true;
    const QByteArray privatePath = tempDir.filePath(QStringLiteral("private.der")).toLocal8Bit();
    const QByteArray publicPath = tempDir.filePath(QStringLiteral("public.der")).toLocal8Bit();
    save_key(&created.key, PK_PRIVATE, privatePath.constData());
    save_key(&created.key, PK_PUBLIC, publicPath.constData());
    // The public export is the PKCS #1 RSAPublicKey that the build embeds.
    QCOMPARE(read_file(publicPath.constData()).size(), std::size_t(270));

    KeyHolder privateKey;
    load_key(&privateKey.key, privatePath.constData());
    privateKey.loaded = true;
    KeyHolder publicKey;
    load_key(&publicKey.key, publicPath.constData());
    publicKey.loaded = true;
    QCOMPARE(publicKey.key.type, int(PK_PUBLIC));

    const QByteArray message("payload");
    QVERIFY(verifies(&publicKey.key, message, sign(&privateKey.key, message)));
}

void TestCryptWrapper::builtInKeyImports()
{
    KeyHolder holder;
    load_key(&holder.key, PUBLIC_KEY, PUBLIC_KEY_SIZE);
    holder.loaded = true;
    QCOMPARE(holder.key.type, int(PK_PUBLIC));
    QCOMPARE(rsa_get_size(&holder.key), 128);
}

void TestCryptWrapper::opensslSignatures_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("valid");

    QTest::newRow("pss sha1 salt 8") << DemoSigner::pssOptions() << true;
    QTest::newRow("pss sha1 salt 20") << DemoSigner::pssOptions(20) << false;
    QTest::newRow("pss sha1 salt 0") << DemoSigner::pssOptions(0) << false;
    QTest::newRow("pss sha256 salt 8") << DemoSigner::pssOptions(8, QStringLiteral("-sha256")) << false;
    QTest::newRow("pkcs1 v1.5 sha1") << QStringList { QStringLiteral("-sha1") } << false;
}

void TestCryptWrapper::opensslSignatures()
{
    QFETCH(QStringList, options);
    QFETCH(bool, valid);
    if (!DemoSigner::opensslAvailable())
        QSKIP("openssl command line tool not installed");

    const QString messagePath = tempDir.filePath(QStringLiteral("product.ini"));
    const QByteArray message("[bin]\nclient=0123456789abcdef0123456789abcdef::4096\n");
    QVERIFY(FileTree::write(messagePath, message));

    const QByteArray signature = DemoSigner::signWithOpenssl(messagePath, options);
    QCOMPARE(signature.size(), 128);

    KeyHolder holder;
    load_key(&holder.key, DemoSigner::publicKeyDer().toLocal8Bit().constData());
    holder.loaded = true;
    QCOMPARE(accepts(&holder.key, message, signature), valid);
}

void TestCryptWrapper::releaseSignatureVerifiesWithOpenssl()
{
    if (!DemoSigner::opensslAvailable())
        QSKIP("openssl command line tool not installed");
    KeyHolder holder;
    load_key(&holder.key, DemoSigner::privateKeyDer().toLocal8Bit().constData());
    holder.loaded = true;

    const QByteArray message("signed by the release code");
    const QString messagePath = tempDir.filePath(QStringLiteral("release.txt"));
    const QString signaturePath = messagePath + QStringLiteral(".sig");
    const QByteArray signature = sign(&holder.key, message);
    write_file(
        messagePath.toLocal8Bit().constData(), std::vector<unsigned char>(message.begin(), message.end()));
    write_file(signaturePath.toLocal8Bit().constData(),
        std::vector<unsigned char>(signature.begin(), signature.end()));

    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
        QStringList { QStringLiteral("dgst") } << DemoSigner::pssOptions() << QStringLiteral("-prverify")
                                               << DemoSigner::privateKeyPem() << QStringLiteral("-signature")
                                               << signaturePath << messagePath);
    QVERIFY(openssl.waitForFinished(30000));
    QCOMPARE(openssl.exitCode(), 0);
}

void TestCryptWrapper::wrongSignatureLengthThrows_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("127 bytes") << 127;
    QTest::newRow("129 bytes") << 129;
    QTest::newRow("empty") << 0;
}

void TestCryptWrapper::wrongSignatureLengthThrows()
{
    QFETCH(int, length);
    KeyHolder holder;
    load_key(&holder.key, PUBLIC_KEY, PUBLIC_KEY_SIZE);
    holder.loaded = true;
    QVERIFY_THROWS_EXCEPTION(crypt_exception, verifies(&holder.key, "message", QByteArray(length, '\x5a')));
}

void TestCryptWrapper::errorsCarryContext()
{
    check_err("unused", CRYPT_OK);
    try {
        check_err("rsa_import", CRYPT_INVALID_PACKET);
        QFAIL("check_err did not throw");
    } catch (const crypt_exception& e) {
        QCOMPARE(QString::fromUtf8(e.what()),
            QStringLiteral("rsa_import: ") + QString::fromUtf8(error_to_string(CRYPT_INVALID_PACKET)));
    }

    const QByteArray missing = tempDir.filePath(QStringLiteral("missing.der")).toLocal8Bit();
    try {
        read_file(missing.constData());
        QFAIL("read_file did not throw");
    } catch (const crypt_exception& e) {
        QCOMPARE(QByteArray(e.what()), "Cannot open file for reading: " + missing);
    }
    const QByteArray unwritable = tempDir.filePath(QStringLiteral("no/such/dir/key.der")).toLocal8Bit();
    try {
        write_file(unwritable.constData(), { 1, 2, 3 });
        QFAIL("write_file did not throw");
    } catch (const crypt_exception& e) {
        QCOMPARE(QByteArray(e.what()), "Cannot open file for writing: " + unwritable);
    }

    Rsa_key key {};
    const unsigned char garbage[16] = { 0x30, 0x03, 0x01 };
    QVERIFY_THROWS_EXCEPTION(crypt_exception, load_key(&key, garbage, sizeof garbage));
}

QTEST_GUILESS_MAIN(TestCryptWrapper)
#include "tst_cryptwrapper.moc"
