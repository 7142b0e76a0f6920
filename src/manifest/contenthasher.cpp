#include "manifest/contenthasher.h"

#include <openssl/evp.h>

namespace {

// Fetched once: each fetch would look the algorithm up in the provider again.
const EVP_MD* digestOf(ContentSum::Algorithm algorithm)
{
    static const EVP_MD* const md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
    static const EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return algorithm == ContentSum::Algorithm::Md5 ? md5 : sha256;
}

} // namespace

void ContentHasher::ContextDeleter::operator()(evp_md_ctx_st* context) const
{
    EVP_MD_CTX_free(context);
}

ContentHasher::ContentHasher(ContentSum::Algorithm algorithm)
    : algo(algorithm)
    , context(EVP_MD_CTX_new())
{
    reset();
}

ContentHasher::~ContentHasher() = default;

void ContentHasher::reset()
{
    // Only a missing provider fails here; result() then gives no digest,
    // which matches no sum.
    if (context && EVP_DigestInit_ex2(context.get(), digestOf(algo), nullptr) != 1)
        context.reset();
}

void ContentHasher::addData(QByteArrayView data)
{
    if (context && !data.isEmpty() && EVP_DigestUpdate(context.get(), data.data(), size_t(data.size())) != 1)
        context.reset();
}

QByteArray ContentHasher::result()
{
    if (!context)
        return QByteArray();
    QByteArray digest(ContentSum::digestSize(algo), Qt::Uninitialized);
    unsigned int size = 0;
    const bool done
        = EVP_DigestFinal_ex(context.get(), reinterpret_cast<unsigned char*>(digest.data()), &size) == 1
        && int(size) == digest.size();
    reset();
    return done ? digest : QByteArray();
}

QByteArray ContentHasher::hash(QByteArrayView data, ContentSum::Algorithm algorithm)
{
    ContentHasher hasher(algorithm);
    hasher.addData(data);
    return hasher.result();
}
