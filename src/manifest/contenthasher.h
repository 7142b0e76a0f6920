#ifndef CONTENTHASHER_H
#define CONTENTHASHER_H

#include "manifest/contentsum.h"

#include <QByteArray>
#include <QByteArrayView>

#include <memory>

struct evp_md_ctx_st;

// A digest of one of ContentSum's algorithms, fed piece by piece. OpenSSL's,
// which uses the processor's SHA instructions where it has them: SHA-256
// then costs less than MD5 does.
class ContentHasher
{
public:
    explicit ContentHasher(ContentSum::Algorithm algorithm);
    ~ContentHasher();
    ContentHasher(const ContentHasher&) = delete;
    ContentHasher& operator=(const ContentHasher&) = delete;

    ContentSum::Algorithm algorithm() const { return algo; }
    void addData(QByteArrayView data);
    // The raw digest of everything added since construction or reset(),
    // after which the hasher starts afresh.
    QByteArray result();
    void reset();

    static QByteArray hash(QByteArrayView data, ContentSum::Algorithm algorithm);

private:
    struct ContextDeleter
    {
        void operator()(evp_md_ctx_st* context) const;
    };

    ContentSum::Algorithm algo;
    std::unique_ptr<evp_md_ctx_st, ContextDeleter> context;
};

#endif
