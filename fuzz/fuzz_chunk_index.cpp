#include "fuzzscratch.h"
#include "manifest/chunkindex.h"
#include "manifest/contentchunker.h"

#include <QFile>

#include <cstddef>
#include <cstdint>

// A chunk index as a mirror serves it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path = FuzzScratch::write(
        QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), QStringLiteral(".chunks"));
    ChunkIndex::Reader reader(path);
    ChunkIndex::File file;
    ChunkIndex::Chunk chunk;
    QByteArray previous;
    if (reader.open()) {
        while (reader.nextFile(&file)) {
            // Every accepted file names a place below its section, after the one before.
            const QByteArray order = file.section.toUtf8() + '\0' + file.key.toUtf8();
            if (!ProductIniLine::isSafeRelativePath(file.key) || order <= previous)
                __builtin_trap();
            previous = order;
            qint64 total = 0;
            qint64 count = 0;
            while (reader.nextChunk(&chunk)) {
                // Chunks whose sizes are real and add up to the file's, in packs that exist only by name.
                if (chunk.size <= 0 || chunk.size > ContentChunker::MAX_SIZE || chunk.packedSize <= 0
                    || chunk.offset + chunk.packedSize > ChunkIndex::MAX_PACK_SIZE
                    || !ChunkIndex::isPackName(chunk.pack.toLatin1())
                    || chunk.pack.contains(QLatin1Char('/')))
                    __builtin_trap();
                total += chunk.size;
                ++count;
            }
            if (reader.failed())
                break;
            if (total != file.size || count != file.chunkCount)
                __builtin_trap();
        }
    }
    // Read to its end line or refused, never both, never neither.
    if (reader.done() == reader.failed())
        __builtin_trap();
    if (reader.done() != (reader.sha256().size() == 32))
        __builtin_trap();
    QFile::remove(path);
    return 0;
}
