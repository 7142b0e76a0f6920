#include "patchmaker.h"

// Lets the encoder read the mapped new content in place instead of copying
// it into a window buffer of its own.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>

#include "fileops/mappedfile.h"
#include "fileops/zstdhandles.h"
#include "manifest/contenthasher.h"

#include <QFile>

#include <algorithm>
#include <vector>

namespace {

constexpr qint64 SmallContent = 1024 * 1024;

bool zstdFailed(size_t code, const QString& what, QString* error)
{
    if (!ZSTD_isError(code))
        return false;
    *error = QStringLiteral("%1: %2").arg(what, QString::fromLatin1(ZSTD_getErrorName(code)));
    return true;
}

int clampedTo(ZSTD_cParameter parameter, int value)
{
    const ZSTD_bounds bounds = ZSTD_cParam_getBounds(parameter);
    return std::clamp(value, bounds.lowerBound, bounds.upperBound);
}

// Smallest window that reaches from the end of the new content back to the
// start of the earlier one.
int windowLogFor(qint64 reach)
{
    int log = 0;
    while (log < 62 && (qint64(1) << log) < reach)
        ++log;
    return clampedTo(ZSTD_c_windowLog, log);
}

} // namespace

int PatchMaker::levelFor(qint64 newSize)
{
    return newSize <= SmallContent ? 19 : 9;
}

bool PatchMaker::make(const QString& basePath, const QString& newPath, const QString& patchPath,
    FileDigest* patch, QString* error)
{
    MappedFile base;
    MappedFile content;
    if (!base.mapForReading(basePath, error) || !content.mapForReading(newPath, error))
        return false;
    ZstdCompressor encoder(ZSTD_createCCtx());
    if (!encoder) {
        *error = QStringLiteral("out of memory for the encoder");
        return false;
    }
    const QString what = QStringLiteral("cannot make a patch for %1").arg(newPath);
    ZSTD_CCtx* cctx = encoder.get();
    // No worker threads: patching is bound by reading and hashing, and
    // workers only doubled the encoder's memory.
    const std::pair<ZSTD_cParameter, int> parameters[] = {
        { ZSTD_c_compressionLevel, levelFor(content.size()) },
        { ZSTD_c_enableLongDistanceMatching, 1 },
        { ZSTD_c_windowLog, windowLogFor(base.size() + content.size()) },
        { ZSTD_c_contentSizeFlag, 1 },
        { ZSTD_c_checksumFlag, 0 },
        { ZSTD_c_stableInBuffer, 1 },
    };
    for (const auto& [parameter, value] : parameters) {
        if (zstdFailed(ZSTD_CCtx_setParameter(cctx, parameter, value), what, error))
            return false;
    }
    if (zstdFailed(ZSTD_CCtx_setPledgedSrcSize(cctx, size_t(content.size())), what, error)
        || zstdFailed(ZSTD_CCtx_refPrefix(cctx, base.data(), size_t(base.size())), what, error))
        return false;

    QFile output(patchPath);
    if (!output.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *error = QStringLiteral("cannot create %1: %2").arg(patchPath, output.errorString());
        return false;
    }
    ContentHasher md5(ContentSum::Algorithm::Md5);
    ContentHasher sha256(ContentSum::Algorithm::Sha256);
    std::vector<char> buffer(ZSTD_CStreamOutSize() * 8);
    ZSTD_inBuffer in { content.data(), size_t(content.size()), 0 };
    size_t remaining = 1;
    while (remaining != 0) {
        ZSTD_outBuffer out { buffer.data(), buffer.size(), 0 };
        remaining = ZSTD_compressStream2(cctx, &out, &in, ZSTD_e_end);
        if (zstdFailed(remaining, what, error))
            return false;
        if (output.write(buffer.data(), qint64(out.pos)) != qint64(out.pos)) {
            *error = QStringLiteral("cannot write %1: %2").arg(patchPath, output.errorString());
            return false;
        }
        md5.addData(QByteArrayView(buffer.data(), qsizetype(out.pos)));
        sha256.addData(QByteArrayView(buffer.data(), qsizetype(out.pos)));
    }
    if (!output.flush()) {
        *error = QStringLiteral("cannot write %1: %2").arg(patchPath, output.errorString());
        return false;
    }
    *patch = { QString::fromLatin1(md5.result().toHex()), output.size(),
        ContentSum::fromDigest(sha256.result(), ContentSum::Algorithm::Sha256) };
    return true;
}
