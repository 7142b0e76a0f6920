#include "manifest/contentchunker.h"

#include "manifest/contenthasher.h"

#include <QIODevice>

namespace {

constexpr std::array<quint64, 256> makeTable(quint64 state)
{
    std::array<quint64, 256> table {};
    for (quint64& entry : table) {
        state += 0x9e3779b97f4a7c15ULL;
        quint64 z = state;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        entry = z ^ (z >> 31);
    }
    return table;
}

constexpr std::array<quint64, 256> Table = makeTable(ContentChunker::TABLE_SEED);

constexpr qint64 ReadSize = 64 * 1024;

} // namespace

const std::array<quint64, 256>& ContentChunker::table()
{
    return Table;
}

qsizetype ContentChunker::feed(QByteArrayView data)
{
    const auto* bytes = reinterpret_cast<const uchar*>(data.data());
    const qsizetype size = data.size();
    qsizetype i = 0;
    // Below the minimum no cut is looked for, nor is the hash rolled: the
    // bytes before the last 64 of the minimum would leave it anyway.
    if (length < MIN_SIZE - 64) {
        const qsizetype skip = qsizetype(qMin<qint64>(size, MIN_SIZE - 64 - length));
        i = skip;
        length += skip;
    }
    for (; i < size; ++i) {
        hash = (hash << 1) + Table[bytes[i]];
        ++length;
        if (length == MAX_SIZE || (length >= MIN_SIZE && (hash & MASK) == 0)) {
            hash = 0;
            length = 0;
            return i + 1;
        }
    }
    return size;
}

bool ContentChunker::split(
    QIODevice* device, const ChunkHandler& each, QByteArray* wholeSha256, QString* error)
{
    ContentChunker chunker;
    ContentHasher whole(ContentSum::Algorithm::Sha256);
    QByteArray chunk;
    chunk.reserve(MAX_SIZE);
    QByteArray buffer(ReadSize, Qt::Uninitialized);
    qint64 offset = 0;
    const auto emitChunk = [&]() {
        const Chunk done { offset, chunk.size(), ContentHasher::hash(chunk, ContentSum::Algorithm::Sha256) };
        offset += chunk.size();
        const bool go = each(done, chunk);
        chunk.resize(0);
        return go;
    };
    for (;;) {
        const qint64 count = device->read(buffer.data(), buffer.size());
        if (count < 0) {
            *error = device->errorString();
            return false;
        }
        if (count == 0)
            break;
        QByteArrayView rest(buffer.constData(), count);
        whole.addData(rest);
        while (!rest.isEmpty()) {
            const qsizetype taken = chunker.feed(rest);
            chunk.append(rest.first(taken));
            rest = rest.sliced(taken);
            if (chunker.atBoundary() && !emitChunk())
                return false;
        }
    }
    if (!chunk.isEmpty() && !emitChunk())
        return false;
    *wholeSha256 = whole.result();
    return true;
}
