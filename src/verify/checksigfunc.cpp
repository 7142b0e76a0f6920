#include "verify/checksigfunc.h"

#include "verify/cryptwrapper.h"
#include "verify/publickey.h"

#include "manifest/contenthasher.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

namespace {

// Files are hashed through a buffer of this size, so that memory does not
// grow with the file.
constexpr qint64 HASH_CHUNK_SIZE = 1024 * 1024;
// A progress report after every this many bytes hashed.
constexpr qint64 PROGRESS_STEP = 16 * 1024 * 1024;
// Far above the signature of any key the program could carry.
constexpr qint64 MAX_SIGNATURE_FILE_SIZE = 64 * 1024;

class LoadedKey
{
public:
    LoadedKey() { load_key(&key, PUBLIC_KEY, PUBLIC_KEY_SIZE); }
    ~LoadedKey() { rsa_free(&key); }
    LoadedKey(const LoadedKey&) = delete;
    LoadedKey& operator=(const LoadedKey&) = delete;

    Rsa_key key {};
};

const unsigned char* bytes(const QByteArray& data)
{
    return reinterpret_cast<const unsigned char*>(data.constData());
}

} // namespace

CheckSigFunc::CheckSigFunc(const QString& fileName, const FileCheck& check)
    : fileName(fileName)
    , check(check)
{ }

bool CheckSigFunc::run()
{
    return check.kind() == FileCheck::Kind::DetachedSignature ? checkRSA() : checkMD5();
}

bool CheckSigFunc::readFile(const QString& path, QByteArray& data)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Q_EMIT message(QStringLiteral("Could not open file %1 for reading").arg(path));
        return false;
    }
    const qint64 size = file.size();
    data.resize(size);
    if (file.read(data.data(), size) != size) {
        Q_EMIT message(QStringLiteral("could not read file %1 correctly").arg(path));
        return false;
    }
    file.close();
    return true;
}

bool CheckSigFunc::hashFile(const QString& path, HashKind kind, QByteArray& digest)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        Q_EMIT message(QStringLiteral("Could not open file %1 for reading").arg(path));
        return false;
    }
    // Exactly the size the file had when opened: a device or a growing file
    // would otherwise never end.
    const qint64 size = file.size();
    // SHA-1 only for the signature scheme; contents through OpenSSL.
    QCryptographicHash sha1(QCryptographicHash::Sha1);
    ContentHasher content(check.algorithm());
    QByteArray chunk(static_cast<int>(qMin(HASH_CHUNK_SIZE, qMax<qint64>(size, 1))), Qt::Uninitialized);
    qint64 total = 0;
    while (total < size) {
        const qint64 count = file.read(chunk.data(), qMin<qint64>(chunk.size(), size - total));
        if (count <= 0)
            break;
        const QByteArrayView piece(chunk.constData(), count);
        if (kind == HashKind::Sha1)
            sha1.addData(piece);
        else
            content.addData(piece);
        // A large file's check takes seconds: say how far it is.
        if ((total + count) / PROGRESS_STEP != total / PROGRESS_STEP)
            Q_EMIT progress(qreal(total + count) / qreal(size));
        total += count;
    }
    if (total != size) {
        Q_EMIT message(QStringLiteral("could not read file %1 correctly").arg(path));
        return false;
    }
    digest = kind == HashKind::Sha1 ? sha1.result() : content.result();
    return true;
}

bool CheckSigFunc::checkMD5()
{
    QByteArray digest;
    if (!hashFile(fileName, HashKind::Content, digest))
        return false;
    return check.matches(digest);
}

bool CheckSigFunc::checkRSA()
{
    QByteArray digest;
    if (!hashFile(fileName, HashKind::Sha1, digest))
        return false;
    const QString signatureName = fileName + QStringLiteral(".sig");
    // A signature is as long as the key's modulus; a file far longer is no
    // signature and is not read into memory.
    if (QFileInfo(signatureName).size() > MAX_SIGNATURE_FILE_SIZE)
        return false;
    QByteArray signature;
    if (!readFile(signatureName, signature))
        return false;
    try {
        LoadedKey publicKey;
        return verify_hash(&publicKey.key, bytes(digest), static_cast<unsigned long>(digest.size()),
            bytes(signature), static_cast<unsigned long>(signature.size()));
    } catch (const crypt_exception&) {
        // A malformed key or signature is a failed check, not a log entry.
        return false;
    }
}
