#include "manifest/patchindex.h"

#include <QRegularExpression>

#include <cstddef>
#include <cstdint>

// A patch index as a mirror serves it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PatchIndex index;
    QStringList problems;
    if (!index.parse(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), &problems))
        return 0;
    static const QRegularExpression md5(QStringLiteral("^[0-9A-Fa-f]{32}$"));
    static const QRegularExpression sha256(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    const QRegularExpression& sum = index.algorithm == ContentSum::Algorithm::Md5 ? md5 : sha256;
    for (const PatchIndex::Entry& entry : std::as_const(index.entries)) {
        // Every accepted record names places below its directories, and sums of the index's algorithm
        // and sizes that are real.
        if (!ProductIniLine::isSafeRelativePath(entry.key) || !ProductIniLine::isSafeRelativePath(entry.path)
            || !sum.match(entry.md5).hasMatch() || !sum.match(entry.baseMd5).hasMatch()
            || !sum.match(entry.resultMd5).hasMatch() || entry.size < 0 || entry.baseSize < 0
            || entry.resultSize < 0)
            __builtin_trap();
    }
    // What is accepted reads back the same once written.
    PatchIndex again;
    QStringList none;
    if (!again.parse(index.serialize(), &none) || !none.isEmpty() || !(again.binding == index.binding)
        || again.entries != index.entries || again.algorithm != index.algorithm)
        __builtin_trap();
    return 0;
}
