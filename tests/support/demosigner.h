#ifndef DEMOSIGNER_H
#define DEMOSIGNER_H

#include <QByteArray>
#include <QString>
#include <QStringList>

// Signs test files with the demo private key in keys/, through the release
// code or through the openssl command line tool; names the demo Ed25519 keys
// that sign release manifests.
class DemoSigner
{
public:
    DemoSigner() = delete;

    static QString privateKeyPem();
    static QString privateKeyDer();
    static QString publicKeyDer();
    // keys/demo_ed25519_<number>.pem and .pub (64 hexadecimal digits), for
    // number 1 and 2; both private keys.
    static QString ed25519KeyPem(int number);
    static QString ed25519PublicKeyFile(int number);
    static QStringList ed25519KeyPems();

    // Whether the build embeds the demo public key; checks of the built-in
    // key can only pass with demo signatures when it does.
    static bool builtInKeyIsDemoKey();

    // Signature of data made by the release code with the demo key.
    static QByteArray sign(const QByteArray& data);
    // Writes path + ".sig" with a release-code signature of the file.
    static bool signFile(const QString& path);

    static bool opensslAvailable();
    // Signature of the file made by "openssl dgst <options> -sign <demo key>";
    // empty on failure.
    static QByteArray signWithOpenssl(const QString& path, const QStringList& options);
    // The options of the updater's scheme: PSS, SHA-1, salt length 8.
    static QStringList pssOptions(int saltLength = 8, const QString& digest = QStringLiteral("-sha1"));
};

// Skips the current test unless signatures made with the demo key pass the
// built-in key check.
#define SKIP_UNLESS_DEMO_KEY()                                                                               \
    do {                                                                                                     \
        if (!DemoSigner::builtInKeyIsDemoKey())                                                              \
            QSKIP("the build embeds a key other than the demo key");                                         \
    } while (false)

#endif
