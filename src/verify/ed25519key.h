#ifndef ED25519KEY_H
#define ED25519KEY_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <memory>

struct evp_pkey_st;

// An Ed25519 key through OpenSSL's EVP interface: the public half verifies
// release manifests and channel records, the private half (release tool
// only) signs them. Keys travel raw: 32 bytes each half. OpenSSL 3.0 offers
// no context variant of Ed25519, so every kind of signed document puts a
// context of its own in front of what is signed (see signedMessage).
class Ed25519Key
{
public:
    static constexpr int KeySize = 32;
    static constexpr int SignatureSize = 64;

    Ed25519Key();
    ~Ed25519Key();
    Ed25519Key(Ed25519Key&&) noexcept;
    Ed25519Key& operator=(Ed25519Key&&) noexcept;

    static Ed25519Key generate();
    // Invalid keys for input of the wrong size.
    static Ed25519Key fromPublic(QByteArrayView raw);
    static Ed25519Key fromPrivate(QByteArrayView raw);
    // A private key from a PEM (PKCS #8) file, as "openssl genpkey -algorithm
    // ed25519" writes it; invalid, with the reason in `error`, otherwise.
    static Ed25519Key readPrivatePem(const QString& path, QString* error);
    // The PKCS #8 PEM text of a private key; empty for a public one.
    QByteArray privatePem() const;

    bool isValid() const { return key != nullptr; }
    bool isPrivate() const { return privateHalf; }
    QByteArray publicKey() const;
    QByteArray privateKey() const;

    // The 64-byte signature of message; empty without a private key.
    QByteArray sign(QByteArrayView message) const;
    // False for a signature of the wrong size, too.
    bool verify(QByteArrayView message, QByteArrayView signature) const;

    // What a signature of a document of this kind covers: the kind's context,
    // a NUL, and the SHA-256 digest of the document's signed part. A
    // signature made for one kind therefore never verifies as another.
    static QByteArray signedMessage(QByteArrayView context, QByteArrayView sha256);

private:
    struct KeyDeleter
    {
        void operator()(evp_pkey_st* key) const;
    };

    std::unique_ptr<evp_pkey_st, KeyDeleter> key;
    bool privateHalf = false;
};

#endif
