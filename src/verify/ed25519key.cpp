#include "verify/ed25519key.h"

#include <QFile>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace {

// A key file is a few hundred bytes; anything far larger is not one.
constexpr qint64 MaxPemSize = 64 * 1024;

struct BioDeleter
{
    void operator()(BIO* bio) const { BIO_free(bio); }
};
using Bio = std::unique_ptr<BIO, BioDeleter>;

struct DigestContextDeleter
{
    void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
using DigestContext = std::unique_ptr<EVP_MD_CTX, DigestContextDeleter>;

const unsigned char* bytes(QByteArrayView data)
{
    return reinterpret_cast<const unsigned char*>(data.data());
}

// Without a callback OpenSSL would ask for a password on the terminal.
int noPassword(char*, int, int, void*)
{
    return 0;
}

} // namespace

void Ed25519Key::KeyDeleter::operator()(evp_pkey_st* key) const
{
    EVP_PKEY_free(key);
}

Ed25519Key::Ed25519Key() = default;
Ed25519Key::~Ed25519Key() = default;
Ed25519Key::Ed25519Key(Ed25519Key&&) noexcept = default;
Ed25519Key& Ed25519Key::operator=(Ed25519Key&&) noexcept = default;

Ed25519Key Ed25519Key::generate()
{
    Ed25519Key result;
    result.key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    result.privateHalf = result.isValid();
    return result;
}

Ed25519Key Ed25519Key::fromPublic(QByteArrayView raw)
{
    Ed25519Key result;
    if (raw.size() == KeySize)
        result.key.reset(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, bytes(raw), KeySize));
    return result;
}

Ed25519Key Ed25519Key::fromPrivate(QByteArrayView raw)
{
    Ed25519Key result;
    if (raw.size() == KeySize)
        result.key.reset(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, bytes(raw), KeySize));
    result.privateHalf = result.isValid();
    return result;
}

Ed25519Key Ed25519Key::readPrivatePem(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return Ed25519Key();
    }
    const QByteArray text = file.read(MaxPemSize + 1);
    if (text.size() > MaxPemSize) {
        *error = QStringLiteral("%1 is too large for a key file").arg(path);
        return Ed25519Key();
    }
    Bio bio(BIO_new_mem_buf(text.constData(), int(text.size())));
    Ed25519Key result;
    if (bio)
        result.key.reset(PEM_read_bio_PrivateKey(bio.get(), nullptr, noPassword, nullptr));
    if (!result.key) {
        *error = QStringLiteral("%1 is not an unencrypted PEM private key").arg(path);
        return Ed25519Key();
    }
    if (EVP_PKEY_get_id(result.key.get()) != EVP_PKEY_ED25519) {
        *error = QStringLiteral("%1 is not an Ed25519 key").arg(path);
        return Ed25519Key();
    }
    result.privateHalf = true;
    return result;
}

QByteArray Ed25519Key::privatePem() const
{
    if (!privateHalf)
        return QByteArray();
    Bio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) != 1)
        return QByteArray();
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? QByteArray(data, qsizetype(size)) : QByteArray();
}

QByteArray Ed25519Key::publicKey() const
{
    QByteArray raw(KeySize, Qt::Uninitialized);
    size_t size = KeySize;
    if (!key
        || EVP_PKEY_get_raw_public_key(key.get(), reinterpret_cast<unsigned char*>(raw.data()), &size) != 1
        || size != size_t(KeySize))
        return QByteArray();
    return raw;
}

QByteArray Ed25519Key::privateKey() const
{
    QByteArray raw(KeySize, Qt::Uninitialized);
    size_t size = KeySize;
    if (!privateHalf
        || EVP_PKEY_get_raw_private_key(key.get(), reinterpret_cast<unsigned char*>(raw.data()), &size) != 1
        || size != size_t(KeySize))
        return QByteArray();
    return raw;
}

QByteArray Ed25519Key::sign(QByteArrayView message) const
{
    if (!privateHalf)
        return QByteArray();
    DigestContext context(EVP_MD_CTX_new());
    QByteArray signature(SignatureSize, Qt::Uninitialized);
    size_t size = SignatureSize;
    // Ed25519 hashes the message itself: no digest, no streaming.
    if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1
        || EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
               bytes(message), size_t(message.size()))
            != 1
        || size != size_t(SignatureSize))
        return QByteArray();
    return signature;
}

bool Ed25519Key::verify(QByteArrayView message, QByteArrayView signature) const
{
    if (!key || signature.size() != SignatureSize)
        return false;
    DigestContext context(EVP_MD_CTX_new());
    return context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1
        && EVP_DigestVerify(
               context.get(), bytes(signature), SignatureSize, bytes(message), size_t(message.size()))
        == 1;
}

QByteArray Ed25519Key::signedMessage(QByteArrayView context, QByteArrayView sha256)
{
    QByteArray message;
    message.reserve(context.size() + 1 + sha256.size());
    message.append(context);
    message.append('\0');
    message.append(sha256);
    return message;
}
