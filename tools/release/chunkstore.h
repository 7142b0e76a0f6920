#ifndef CHUNKSTORE_H
#define CHUNKSTORE_H

#include "manifest/chunkindex.h"
#include "manifest/contentchunker.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>

// The chunks a mirror root holds, in OUTPUT/chunks/: packs of zstd frames,
// each written whole under a temporary name, renamed into place and never
// changed afterwards, and "store.index", one line per stored chunk
// (SHA-256, size, pack, offset, packed size; tab-separated), appended after
// each pack is in place. An index that is missing, malformed or disagrees
// with the packs is rebuilt from the packs by unpacking every frame. A
// chunk already stored is never stored again, whichever release brought it.
class ChunkStore
{
public:
    // A pack is closed with the first chunk that takes it to this size.
    static constexpr qint64 PackSize = 4 * 1024 * 1024;
    static constexpr int CompressionLevel = 9;

    struct Summary
    {
        qint64 chunks = 0;
        qint64 newChunks = 0;
        // Packed bytes written to new packs.
        qint64 newBytes = 0;
        int newPacks = 0;
        // The store index had to be rebuilt from the packs.
        bool rebuilt = false;
    };

    explicit ChunkStore(const QString& outputDirectory);
    ~ChunkStore();
    ChunkStore(const ChunkStore&) = delete;
    ChunkStore& operator=(const ChunkStore&) = delete;

    bool open(QString* error);
    // Where the chunk lies, storing it first unless it is stored already.
    bool store(
        const ContentChunker::Chunk& chunk, QByteArrayView bytes, ChunkIndex::Chunk* located, QString* error);
    // Writes the last pack.
    bool finish(QString* error);
    const Summary& summary() const { return totals; }

    static QString indexName();

private:
    bool load();
    bool rebuild(QString* error);
    bool readPack(const QString& pack, QString* error);
    bool writeIndex(QString* error);
    bool closePack(QString* error);
    static QByteArray entryLine(const QByteArray& sha256, const ChunkIndex::Chunk& chunk);

    QString directory;
    // Raw SHA-256 -> where the chunk lies.
    QHash<QByteArray, ChunkIndex::Chunk> stored;
    // The pack being filled, and its chunks' lines for the store index.
    QString pack;
    QByteArray packData;
    QByteArray packLines;
    class Compressor;
    std::unique_ptr<Compressor> compressor;
    Summary totals;
};

#endif
