#include "fileops/patchapplyfunc.h"
#include "fuzzscratch.h"

#include <QFile>

#include <zstd.h>

#include <cstddef>
#include <cstdint>

// A patch as a mirror serves it, applied to an installed file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString base = [] {
        QByteArray content;
        for (int i = 0; i < 65536; ++i)
            content.append(char((i * 7919) >> 5));
        return FuzzScratch::write(content, ".base");
    }();
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const unsigned long long declared = ZSTD_getFrameContentSize(bytes.constData(), size_t(bytes.size()));
    FilePatchSpecification patch;
    patch.basePath = base;
    FileStamp::of(base, patch.baseStamp);
    // The listed size is the one declared where it is small, so that decoding is reached.
    patch.resultSize = declared > 0 && declared <= (1u << 20) ? qint64(declared) : 4096;
    patch.resultMd5 = ContentSum::fromText(u"0123456789abcdef0123456789abcdef");
    const QString patchPath = FuzzScratch::write(bytes, ".patch");
    const QString result = FuzzScratch::newPath(".result");
    PatchApplyFunc apply(patch, base, patchPath, result);
    // No content has that sum: nothing may be accepted, nothing may be left.
    if (apply.run() || QFile::exists(result) || QFile::exists(PatchApplyFunc::workingPath(result)))
        __builtin_trap();
    QFile::remove(patchPath);
    return 0;
}
