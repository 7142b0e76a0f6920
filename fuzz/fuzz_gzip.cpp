#include "fileops/fileunzipfunc.h"
#include "fuzzscratch.h"

#include <QFile>

#include <cstddef>
#include <cstdint>

// A packed file as the installation unpacks it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString packed
        = FuzzScratch::write(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), ".gz");
    const QString unpacked = packed + QStringLiteral(".out");
    FileUnzipFunc::unzipFile(unpacked, packed);
    QFile::remove(packed);
    QFile::remove(unpacked);
    return 0;
}
