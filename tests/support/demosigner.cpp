#include "demosigner.h"

#include "verify/cryptwrapper.h"
#include "verify/publickey.h"

#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <cstring>

QString DemoSigner::privateKeyPem()
{
    return QStringLiteral(TEST_SOURCE_DIR "/keys/demo_private.pem");
}

QString DemoSigner::privateKeyDer()
{
    return QStringLiteral(TEST_SOURCE_DIR "/keys/demo_private.der");
}

QString DemoSigner::publicKeyDer()
{
    return QStringLiteral(TEST_SOURCE_DIR "/keys/demo_public.der");
}

QString DemoSigner::ed25519KeyPem(int number)
{
    return QStringLiteral(TEST_SOURCE_DIR "/keys/demo_ed25519_%1.pem").arg(number);
}

QString DemoSigner::ed25519PublicKeyFile(int number)
{
    return QStringLiteral(TEST_SOURCE_DIR "/keys/demo_ed25519_%1.pub").arg(number);
}

QStringList DemoSigner::ed25519KeyPems()
{
    return { ed25519KeyPem(1), ed25519KeyPem(2) };
}

bool DemoSigner::builtInKeyIsDemoKey()
{
    QFile file(publicKeyDer());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray der = file.readAll();
    return der.size() <= int(PUBLIC_KEY_SIZE) && std::memcmp(der.constData(), PUBLIC_KEY, der.size()) == 0;
}

QByteArray DemoSigner::sign(const QByteArray& data)
{
    QByteArray signature(512, '\0');
    unsigned long length = static_cast<unsigned long>(signature.size());
    Rsa_key key {};
    try {
        crypt_init();
        load_key(&key, privateKeyDer().toLocal8Bit().constData());
    } catch (const crypt_exception&) {
        return QByteArray();
    }
    try {
        sign_msg(&key, reinterpret_cast<const unsigned char*>(data.constData()),
            static_cast<unsigned long>(data.size()), reinterpret_cast<unsigned char*>(signature.data()),
            &length);
    } catch (const crypt_exception&) {
        length = 0;
    }
    rsa_free(&key);
    signature.resize(static_cast<int>(length));
    return signature;
}

bool DemoSigner::signFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray signature = sign(file.readAll());
    QFile sigFile(path + QStringLiteral(".sig"));
    return !signature.isEmpty() && sigFile.open(QIODevice::WriteOnly)
        && sigFile.write(signature) == signature.size();
}

bool DemoSigner::opensslAvailable()
{
    return !QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty();
}

QByteArray DemoSigner::signWithOpenssl(const QString& path, const QStringList& options)
{
    QProcess process;
    process.start(QStringLiteral("openssl"),
        QStringList { QStringLiteral("dgst") } << options << QStringLiteral("-sign") << privateKeyPem()
                                               << path);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0)
        return QByteArray();
    return process.readAllStandardOutput();
}

QStringList DemoSigner::pssOptions(int saltLength, const QString& digest)
{
    return { digest, QStringLiteral("-sigopt"), QStringLiteral("rsa_padding_mode:pss"),
        QStringLiteral("-sigopt"), QStringLiteral("rsa_pss_saltlen:%1").arg(saltLength) };
}
