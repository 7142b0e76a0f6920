#ifndef CONTENTCHUNKER_H
#define CONTENTCHUNKER_H

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>

class QIODevice;

// Cuts content into chunks at places its own bytes decide (docs/chunks.md),
// so that an insertion or a deletion changes only the chunks around it. A
// Gear hash rolls over the bytes: h = (h << 1) + TABLE[byte], 64 bits. A
// chunk ends after the byte where h & MASK == 0, never before MIN_SIZE
// bytes and always at MAX_SIZE; the hash starts afresh with each chunk.
// MASK takes the top 16 bits: a left shift carries each byte out of the
// hash after 64 more, so they depend on the last 64 bytes (the low bits on
// only the last few).
class ContentChunker
{
public:
    static constexpr qint64 MIN_SIZE = 16 * 1024;
    static constexpr qint64 MAX_SIZE = 256 * 1024;
    static constexpr quint64 MASK = 0xffff000000000000ULL;
    // The table is SplitMix64's output from this seed ("Voxmeado").
    static constexpr quint64 TABLE_SEED = 0x566f786d6561646fULL;

    static const std::array<quint64, 256>& table();

    struct Chunk
    {
        // Where it starts in the content, and its length.
        qint64 offset = 0;
        qint64 size = 0;
        // SHA-256 of its bytes, raw.
        QByteArray sha256;
    };
    // Called for each chunk in order with its bytes; false stops the reading.
    using ChunkHandler = std::function<bool(const Chunk& chunk, QByteArrayView bytes)>;

    // Bytes of `data` that belong to the current chunk: all of them when it
    // goes on past their end, else up to and including its last byte, after
    // which the next chunk starts.
    qsizetype feed(QByteArrayView data);
    // Whether the bytes fed so far have just ended a chunk.
    bool atBoundary() const { return length == 0; }

    // Reads `device` to its end, never more than MAX_SIZE and one read at
    // once, handing out every chunk; `wholeSha256` gets the whole content's
    // SHA-256. False on a read error (with `error`) or when `each` stops.
    static bool split(QIODevice* device, const ChunkHandler& each, QByteArray* wholeSha256, QString* error);

private:
    quint64 hash = 0;
    qint64 length = 0;
};

#endif
