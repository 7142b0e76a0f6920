#include "fileops/fileunzipfunc.h"
#include "fuzzscratch.h"

#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The unpacked size a product ini lists, far below what a small input can
// unpack to.
constexpr qint64 ListedSize = 64 * 1024;

} // namespace

// A packed file as the installation unpacks it: nothing larger than its
// listed size is ever kept.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString packed
        = FuzzScratch::write(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), ".gz");
    const QString unpacked = packed + QStringLiteral(".out");
    if (FileUnzipFunc::unzipFile(unpacked, packed, ListedSize) && QFileInfo(unpacked).size() > ListedSize)
        std::abort();
    QFile::remove(packed);
    QFile::remove(unpacked);
    return 0;
}
