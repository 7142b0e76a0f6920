#ifndef ZSTDHANDLES_H
#define ZSTDHANDLES_H

#include <zstd.h>

#include <memory>

// libzstd's contexts, freed on every way out.
struct ZstdContextDeleter
{
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

using ZstdCompressor = std::unique_ptr<ZSTD_CCtx, ZstdContextDeleter>;
using ZstdDecompressor = std::unique_ptr<ZSTD_DCtx, ZstdContextDeleter>;

#endif
