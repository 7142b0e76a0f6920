#ifndef CHUNKINDEX_H
#define CHUNKINDEX_H

#include "manifest/contentsum.h"
#include "manifest/productiniline.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <memory>

class QIODevice;

// The chunks of one release's files, published as "<type>.chunks" beside
// its manifest (docs/chunks.md). UTF-8 text, one record a line, fields
// separated by tabs, in exactly this order:
//
//   voxmeadow-chunk-index 1
//   release <type> <version>
//   file <section> <key> <size> <number of chunks>     installed content
//   chunk <sha256> <size> <pack> <offset> <packed size>
//   ...                                                 one per chunk, in order
//   end <number of file lines> <number of chunk lines>
//
// File lines come in ascending byte order of section, then key, each once.
// A pack is 32 lower-case hexadecimal digits, the file
// "chunks/<pack>.pack" of the mirror root; the chunk is the zstd frame of
// `packed size` bytes at `offset` in it, which unpacks to `size` bytes
// whose SHA-256 is the chunk's. A file's chunk sizes add up to its size.
class ChunkIndex
{
public:
    static constexpr qint64 MAX_SIZE = 1024LL * 1024 * 1024;
    // Largest chunk and largest packed chunk accepted (a zstd frame of
    // stored blocks outgrows its content by a little).
    static constexpr qint64 MAX_CHUNK_SIZE = 256 * 1024;
    static constexpr qint64 MAX_PACKED_SIZE = MAX_CHUNK_SIZE + 4096;
    // No pack is larger: it ends with the first chunk past 4 MiB.
    static constexpr qint64 MAX_PACK_SIZE = 64 * 1024 * 1024;
    static constexpr int PACK_NAME_LENGTH = 32;

    static QString fileName(const QString& updateType);
    // The packs' directory, in the mirror root beside the release directories.
    static QString directory();
    // The pack's path relative to the mirror root.
    static QString packPath(const QString& pack);
    static bool isPackName(QByteArrayView name);

    struct File
    {
        QString section;
        QString key;
        qint64 size = 0;
        qint64 chunkCount = 0;
    };

    struct Chunk
    {
        ContentSum sha256;
        qint64 size = 0;
        QString pack;
        qint64 offset = 0;
        qint64 packedSize = 0;
    };

    // Writes an index: addFile() and then that many addChunk(), in order;
    // finish() writes the end line. What a reader would refuse makes ok()
    // false and is not written.
    class Writer
    {
    public:
        Writer(QIODevice* device, const ProductIniLine::Binding& binding);
        ~Writer();
        void addFile(const File& file);
        void addChunk(const Chunk& chunk);
        void finish();
        bool ok() const;
        QString errorString() const;

    private:
        class State;
        std::unique_ptr<State> state;
    };

    // Reads an index front to back, one line at a time: open() the header,
    // nextFile() each file line, nextChunk() each of its chunks. Any line
    // out of its place or form stops the reading with errorString() set;
    // done() holds after the end line, with nothing after it.
    class Reader
    {
    public:
        explicit Reader(const QString& path);
        ~Reader();
        bool open();
        const ProductIniLine::Binding& binding() const;
        // False after the end line and on any error; asked before the
        // previous file's chunks are all read, it fails the reading.
        bool nextFile(File* file);
        // False after the file's last chunk and on any error.
        bool nextChunk(Chunk* chunk);
        bool done() const;
        bool failed() const;
        QString errorString() const;
        // After the end line: the SHA-256 (raw) and size of all bytes read.
        QByteArray sha256() const;
        qint64 size() const;

    private:
        class State;
        std::unique_ptr<State> state;
    };
};

#endif
