#ifndef RELEASEKEY_H
#define RELEASEKEY_H

#include "verify/cryptwrapper.h"

#include <QByteArray>
#include <QString>

// An RSA key of the release signing scheme (RSASSA-PSS, SHA-1, salt length
// 8), held for one tool run. Private keys are read as PKCS #1 or PKCS #8, in
// DER or PEM; public keys as the DER RSAPublicKey that the updater embeds (or
// SubjectPublicKeyInfo).
class ReleaseKey
{
public:
    // Keys made today; the smallest and largest a release key may have
    // (libtomcrypt makes none above 4096 bits).
    static constexpr int DefaultBits = 3072;
    static constexpr int MinimumBits = 2048;
    static constexpr int MaximumBits = 4096;

    ReleaseKey();
    ~ReleaseKey();
    ReleaseKey(const ReleaseKey&) = delete;
    ReleaseKey& operator=(const ReleaseKey&) = delete;

    // Refuses a size outside MinimumBits..MaximumBits or not a multiple of 8.
    bool generate(int bits, QString* error);
    bool loadPrivate(const QString& path, QString* error);
    bool loadPublic(const QString& path, QString* error);
    // The key compiled into the updater.
    bool loadBuiltIn(QString* error);

    bool isLoaded() const { return loaded; }
    bool isPrivate() const;
    int bits() const;

    // PEM ("RSA PRIVATE KEY") when the name ends in ".pem", DER otherwise;
    // readable by the owner only. Never replaces an existing file.
    bool savePrivate(const QString& path, QString* error) const;
    // DER RSAPublicKey, the form VOXMEADOW_PUBLIC_KEY takes.
    bool savePublic(const QString& path, QString* error) const;
    // Both halves, as savePrivate and savePublic write them. Each is written
    // completely under a temporary name beside its target and only then
    // renamed over it, so any failure leaves an existing pair as it was.
    bool savePair(const QString& privatePath, const QString& publicPath, QString* error) const;

    bool sign(const QByteArray& data, QByteArray* signature, QString* error);
    // False also for a malformed signature.
    bool verify(const QByteArray& data, const QByteArray& signature) const;
    // The same for data whose SHA-1 digest was taken as it went by.
    bool verifyDigest(const QByteArray& sha1, const QByteArray& signature) const;

private:
    bool import(const QByteArray& der, bool pkcs8, const QString& path, QString* error);
    QByteArray exportDer(int type, QString* error) const;
    QByteArray privateFileContent(const QString& path, QString* error) const;
    void release();

    mutable Rsa_key key {};
    bool loaded = false;
};

#endif
