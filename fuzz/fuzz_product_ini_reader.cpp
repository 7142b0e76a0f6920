#include "fuzzscratch.h"
#include "manifest/productinireader.h"

#include <QFile>

#include <cstddef>
#include <cstdint>

namespace {

bool same(const ProductIniReader::Line& a, const ProductIniReader::Line& b)
{
    return a.section == b.section && a.key == b.key && a.value == b.value;
}

} // namespace

// The streamed reading of a product ini must give exactly what QSettings
// gives for the same bytes: the same keys in the same order, the same
// values, the same executables record.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path
        = FuzzScratch::write(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), ".ini");
    ProductIniReader streamed(path);
    streamed.open();
    ProductIniReader reference(path, ProductIniReader::Mode::ThroughQSettings);
    reference.open();
    if (streamed.keyCount() != reference.keyCount() || streamed.hasExecutables() != reference.hasExecutables()
        || streamed.executables() != reference.executables())
        __builtin_trap();
    ProductIniReader::Line mine;
    ProductIniReader::Line theirs;
    for (;;) {
        const bool more = streamed.next(&mine);
        if (more != reference.next(&theirs))
            __builtin_trap();
        if (!more)
            break;
        if (!same(mine, theirs))
            __builtin_trap();
    }
    if (!streamed.intact())
        __builtin_trap();
    QFile::remove(path);
    return 0;
}
