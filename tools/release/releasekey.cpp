#include "releasekey.h"

#include "stagedfile.h"
#include "verify/publickey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

constexpr unsigned long MaxDerLength = 8192;

const unsigned char* bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}

bool initCrypto(QString* error)
{
    try {
        crypt_init();
        return true;
    } catch (const crypt_exception& e) {
        *error = QString::fromStdString(e.what());
        return false;
    }
}

bool readWhole(const QString& path, QByteArray* data, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    *data = file.readAll();
    return true;
}

bool writeNew(
    const QString& path, const QByteArray& data, QFileDevice::Permissions permissions, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, permissions)) {
        *error = QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
        return false;
    }
    if (file.write(data) != data.size() || !file.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        file.remove();
        return false;
    }
    return true;
}

struct Pem
{
    QString label;
    QByteArray der;
    bool encrypted = false;
};

bool parsePem(const QByteArray& text, Pem* pem)
{
    static const QRegularExpression block(
        QStringLiteral("-----BEGIN ([A-Z0-9 ]+)-----\\s*(.*?)-----END \\1-----"),
        QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = block.match(QString::fromLatin1(text));
    if (!match.hasMatch())
        return false;
    pem->label = match.captured(1);
    QByteArray body;
    const QStringList lines = match.captured(2).split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        // Header lines such as "Proc-Type: 4,ENCRYPTED" mark a password-protected key.
        if (line.contains(QLatin1Char(':'))) {
            pem->encrypted = true;
            continue;
        }
        body += line.trimmed().toLatin1();
    }
    const auto decoded = QByteArray::fromBase64Encoding(body, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return false;
    pem->der = *decoded;
    return true;
}

QByteArray toPem(const QByteArray& der, const QByteArray& label)
{
    QByteArray text = "-----BEGIN " + label + "-----\n";
    const QByteArray base64 = der.toBase64();
    for (int i = 0; i < base64.size(); i += 64)
        text += base64.mid(i, 64) + '\n';
    text += "-----END " + label + "-----\n";
    return text;
}

} // namespace

ReleaseKey::ReleaseKey() = default;

ReleaseKey::~ReleaseKey()
{
    release();
}

void ReleaseKey::release()
{
    if (loaded)
        rsa_free(&key);
    loaded = false;
}

bool ReleaseKey::generate(int bits, QString* error)
{
    if (bits < MinimumBits || bits > MaximumBits || bits % 8 != 0) {
        *error
            = QStringLiteral("cannot make a key of %1 bits: release keys have %2 to %3 bits, a multiple of 8")
                  .arg(bits)
                  .arg(MinimumBits)
                  .arg(MaximumBits);
        return false;
    }
    if (!initCrypto(error))
        return false;
    release();
    try {
        create_key(&key, bits);
    } catch (const crypt_exception& e) {
        *error = QString::fromStdString(e.what());
        return false;
    }
    loaded = true;
    return true;
}

bool ReleaseKey::import(const QByteArray& der, bool pkcs8, const QString& path, QString* error)
{
    if (!initCrypto(error))
        return false;
    release();
    try {
        if (pkcs8)
            check_err("rsa_import_pkcs8", rsa_import_pkcs8(bytes(der), der.size(), nullptr, 0, &key));
        else
            load_key(&key, bytes(der), der.size());
    } catch (const crypt_exception& e) {
        *error = QStringLiteral("%1 is not an RSA key (%2)").arg(path, QString::fromStdString(e.what()));
        return false;
    }
    loaded = true;
    return true;
}

bool ReleaseKey::loadPrivate(const QString& path, QString* error)
{
    QByteArray data;
    if (!readWhole(path, &data, error))
        return false;
    bool ok = false;
    Pem pem;
    if (data.startsWith("-----BEGIN")) {
        if (!parsePem(data, &pem)) {
            *error = QStringLiteral("%1 is not a readable PEM file").arg(path);
            return false;
        }
        if (pem.encrypted || pem.label == QLatin1String("ENCRYPTED PRIVATE KEY")) {
            *error = QStringLiteral("%1 is password-protected; decrypt it first, e.g. with "
                                    "\"openssl pkey -in KEY -out PLAIN.pem\"")
                         .arg(path);
            return false;
        }
        if (pem.label == QLatin1String("PRIVATE KEY"))
            ok = import(pem.der, true, path, error);
        else if (pem.label == QLatin1String("RSA PRIVATE KEY"))
            ok = import(pem.der, false, path, error);
        else {
            *error = QStringLiteral("%1 holds a \"%2\", not an RSA private key").arg(path, pem.label);
            return false;
        }
    } else {
        ok = import(data, false, path, error) || import(data, true, path, error);
    }
    if (ok && !isPrivate()) {
        *error = QStringLiteral("%1 is a public key; signing needs the private key").arg(path);
        release();
        return false;
    }
    return ok;
}

bool ReleaseKey::loadPublic(const QString& path, QString* error)
{
    QByteArray data;
    if (!readWhole(path, &data, error))
        return false;
    Pem pem;
    if (data.startsWith("-----BEGIN")) {
        if (!parsePem(data, &pem)) {
            *error = QStringLiteral("%1 is not a readable PEM file").arg(path);
            return false;
        }
        data = pem.der;
    }
    return import(data, false, path, error);
}

bool ReleaseKey::loadBuiltIn(QString* error)
{
    const QByteArray der(reinterpret_cast<const char*>(PUBLIC_KEY), int(PUBLIC_KEY_SIZE));
    return import(der, false, QStringLiteral("the built-in key"), error);
}

bool ReleaseKey::isPrivate() const
{
    return loaded && key.type == PK_PRIVATE;
}

int ReleaseKey::bits() const
{
    return loaded ? int(ltc_mp.count_bits(key.N)) : 0;
}

QByteArray ReleaseKey::exportDer(int type, QString* error) const
{
    QByteArray der(MaxDerLength, Qt::Uninitialized);
    unsigned long length = MaxDerLength;
    try {
        check_err(
            "rsa_export", rsa_export(reinterpret_cast<unsigned char*>(der.data()), &length, type, &key));
    } catch (const crypt_exception& e) {
        *error = QString::fromStdString(e.what());
        return QByteArray();
    }
    der.truncate(int(length));
    return der;
}

QByteArray ReleaseKey::privateFileContent(const QString& path, QString* error) const
{
    if (!isPrivate()) {
        *error = QStringLiteral("no private key to save");
        return QByteArray();
    }
    const QByteArray der = exportDer(PK_PRIVATE, error);
    if (!der.isEmpty() && path.endsWith(QLatin1String(".pem"), Qt::CaseInsensitive))
        return toPem(der, "RSA PRIVATE KEY");
    return der;
}

bool ReleaseKey::savePrivate(const QString& path, QString* error) const
{
    const QByteArray data = privateFileContent(path, error);
    return !data.isEmpty() && writeNew(path, data, StagedFile::OwnerOnly, error);
}

bool ReleaseKey::savePublic(const QString& path, QString* error) const
{
    const QByteArray der = exportDer(PK_PUBLIC, error);
    return !der.isEmpty() && writeNew(path, der, StagedFile::Readable, error);
}

bool ReleaseKey::savePair(const QString& privatePath, const QString& publicPath, QString* error) const
{
    const QByteArray privateData = privateFileContent(privatePath, error);
    const QByteArray publicData = privateData.isEmpty() ? QByteArray() : exportDer(PK_PUBLIC, error);
    return !publicData.isEmpty()
        && StagedFile::replacePair(privatePath, privateData, publicPath, publicData, error);
}

bool ReleaseKey::sign(const QByteArray& data, QByteArray* signature, QString* error)
{
    if (!isPrivate()) {
        *error = QStringLiteral("signing needs a private key");
        return false;
    }
    if (!initCrypto(error))
        return false;
    QByteArray result(MaxDerLength, Qt::Uninitialized);
    unsigned long length = MaxDerLength;
    try {
        sign_msg(&key, bytes(data), data.size(), reinterpret_cast<unsigned char*>(result.data()), &length);
    } catch (const crypt_exception& e) {
        *error = QString::fromStdString(e.what());
        return false;
    }
    result.truncate(int(length));
    *signature = result;
    return true;
}

bool ReleaseKey::verify(const QByteArray& data, const QByteArray& signature) const
{
    QString ignored;
    if (!loaded || !initCrypto(&ignored))
        return false;
    try {
        return verify_msg(&key, bytes(data), data.size(), bytes(signature), signature.size());
    } catch (const crypt_exception&) {
        return false;
    }
}

bool ReleaseKey::verifyDigest(const QByteArray& sha1, const QByteArray& signature) const
{
    QString ignored;
    if (!loaded || !initCrypto(&ignored))
        return false;
    try {
        return verify_hash(&key, bytes(sha1), sha1.size(), bytes(signature), signature.size());
    } catch (const crypt_exception&) {
        return false;
    }
}
