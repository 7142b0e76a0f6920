#include "fuzzscratch.h"
#include "update/digestcache.h"

#include <QCryptographicHash>
#include <QFile>

#include <cstddef>
#include <cstdint>

namespace {

void check(const QByteArray& content)
{
    const QString path = FuzzScratch::write(content, ".digests");
    DigestCache cache(path);
    if (cache.load()) {
        // What was accepted is written back and read again unchanged.
        DigestCache again(path);
        if (!cache.save() || !again.load() || again.size() != cache.size())
            __builtin_trap();
    }
    QFile::remove(path);
}

} // namespace

// The digest cache file beside update.ini: the input as a whole file, and as
// the payload of a file whose frame and sum are right, so that the entries
// themselves are read.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    check(input);
    check("VXDIGEST1\n" + input + QCryptographicHash::hash(input, QCryptographicHash::Md5));
    return 0;
}
