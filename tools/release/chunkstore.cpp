#include "chunkstore.h"

#include "fileops/zstdhandles.h"
#include "manifest/contenthasher.h"
#include "manifest/signedtext.h"
#include "stagedfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

using namespace SignedText;

namespace {

const QByteArray Magic = QByteArrayLiteral("voxmeadow-chunk-store 1");
const QString PackSuffix = QStringLiteral(".pack");

QString newPackName()
{
    quint32 words[ChunkIndex::PACK_NAME_LENGTH / 8];
    QRandomGenerator::system()->fillRange(words);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(words), sizeof(words)).toHex());
}

} // namespace

class ChunkStore::Compressor
{
public:
    ZstdCompressor compress { ZSTD_createCCtx() };
    ZstdDecompressor decompress { ZSTD_createDCtx() };
};

ChunkStore::ChunkStore(const QString& outputDirectory)
    : directory(QDir(outputDirectory).filePath(ChunkIndex::directory()))
    , compressor(std::make_unique<Compressor>())
{ }

ChunkStore::~ChunkStore() = default;

QString ChunkStore::indexName()
{
    return QStringLiteral("store.index");
}

QByteArray ChunkStore::entryLine(const QByteArray& sha256, const ChunkIndex::Chunk& chunk)
{
    return sha256.toHex() + '\t' + QByteArray::number(chunk.size) + '\t' + chunk.pack.toLatin1() + '\t'
        + QByteArray::number(chunk.offset) + '\t' + QByteArray::number(chunk.packedSize) + '\n';
}

bool ChunkStore::open(QString* error)
{
    if (!compressor->compress || !compressor->decompress) {
        *error = QStringLiteral("out of memory for zstd");
        return false;
    }
    ZSTD_CCtx_setParameter(compressor->compress.get(), ZSTD_c_compressionLevel, CompressionLevel);
    ZSTD_CCtx_setParameter(compressor->compress.get(), ZSTD_c_checksumFlag, 0);
    if (!QDir().mkpath(directory)) {
        *error = QStringLiteral("cannot create %1").arg(directory);
        return false;
    }
    if (load())
        return true;
    const bool indexed = QFile::exists(QDir(directory).filePath(indexName()));
    if (!rebuild(error))
        return false;
    // A new store has nothing to rebuild.
    totals.rebuilt = indexed || !stored.isEmpty();
    return writeIndex(error);
}

// The index as it lies, if every pack it names holds its chunks' bytes and
// every pack is named: a pack renamed into place just before a failure
// would otherwise be missed.
bool ChunkStore::load()
{
    stored.clear();
    QFile file(QDir(directory).filePath(indexName()));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    if (file.readLine() != Magic + '\n')
        return false;
    QHash<QString, qint64> packEnds;
    while (!file.atEnd()) {
        QByteArray line = file.readLine();
        if (!line.endsWith('\n'))
            return false;
        line.chop(1);
        const Fields fields = split(line);
        ChunkIndex::Chunk chunk;
        QByteArray sha256;
        if (fields.size() != 5 || !parseHex(fields[0], ContentSum::Sha256Size, &sha256)
            || !parseNumber(fields[1], &chunk.size) || !ChunkIndex::isPackName(fields[2])
            || !parseNumber(fields[3], &chunk.offset) || !parseNumber(fields[4], &chunk.packedSize))
            return false;
        chunk.sha256 = ContentSum::fromDigest(sha256, ContentSum::Algorithm::Sha256);
        chunk.pack = QString::fromLatin1(fields[2]);
        qint64& end = packEnds[chunk.pack];
        end = qMax(end, chunk.offset + chunk.packedSize);
        stored.insert(sha256, chunk);
    }
    const QStringList packs = QDir(directory).entryList({ QLatin1Char('*') + PackSuffix }, QDir::Files);
    if (packs.size() != packEnds.size())
        return false;
    for (auto it = packEnds.cbegin(); it != packEnds.cend(); ++it) {
        if (QFileInfo(QDir(directory).filePath(it.key() + PackSuffix)).size() < it.value())
            return false;
    }
    return true;
}

bool ChunkStore::rebuild(QString* error)
{
    stored.clear();
    const QStringList packs = QDir(directory).entryList({ QLatin1Char('*') + PackSuffix }, QDir::Files);
    for (const QString& name : packs) {
        if (!readPack(name.chopped(PackSuffix.size()), error))
            return false;
    }
    return true;
}

bool ChunkStore::readPack(const QString& pack, QString* error)
{
    const QString path = QDir(directory).filePath(pack + PackSuffix);
    QFile file(path);
    if (!ChunkIndex::isPackName(pack.toLatin1()) || file.size() > ChunkIndex::MAX_PACK_SIZE
        || !file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1 is not a pack this tool wrote; move it away").arg(path);
        return false;
    }
    const QByteArray data = file.readAll();
    QByteArray content(ChunkIndex::MAX_CHUNK_SIZE, Qt::Uninitialized);
    qint64 offset = 0;
    while (offset < data.size()) {
        const size_t frame
            = ZSTD_findFrameCompressedSize(data.constData() + offset, size_t(data.size() - offset));
        const size_t size = ZSTD_isError(frame)
            ? frame
            : ZSTD_decompressDCtx(compressor->decompress.get(), content.data(), size_t(content.size()),
                data.constData() + offset, frame);
        if (ZSTD_isError(size) || size == 0 || qint64(frame) > ChunkIndex::MAX_PACKED_SIZE) {
            *error = QStringLiteral("%1 is damaged at byte %2; restore it or move it away")
                         .arg(path)
                         .arg(offset);
            return false;
        }
        const QByteArray sha256 = ContentHasher::hash(
            QByteArrayView(content).first(qsizetype(size)), ContentSum::Algorithm::Sha256);
        if (!stored.contains(sha256))
            stored.insert(sha256,
                ChunkIndex::Chunk { ContentSum::fromDigest(sha256, ContentSum::Algorithm::Sha256),
                    qint64(size), pack, offset, qint64(frame) });
        offset += qint64(frame);
    }
    return true;
}

bool ChunkStore::writeIndex(QString* error)
{
    const QString path = QDir(directory).filePath(indexName());
    StagedFile output;
    if (!output.create(path, StagedFile::Readable, error))
        return false;
    bool written = output.file().write(Magic + '\n') == Magic.size() + 1;
    for (auto it = stored.cbegin(); written && it != stored.cend(); ++it) {
        const QByteArray line = entryLine(it.key(), it.value());
        written = output.file().write(line) == line.size();
    }
    if (!written) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, output.file().errorString());
        return false;
    }
    return output.finish(error) && output.moveTo(path, false, error);
}

bool ChunkStore::store(
    const ContentChunker::Chunk& chunk, QByteArrayView bytes, ChunkIndex::Chunk* located, QString* error)
{
    ++totals.chunks;
    const auto known = stored.constFind(chunk.sha256);
    if (known != stored.cend()) {
        *located = known.value();
        return true;
    }
    if (pack.isEmpty())
        pack = newPackName();
    const qsizetype offset = packData.size();
    packData.resize(offset + qsizetype(ZSTD_compressBound(size_t(bytes.size()))));
    const size_t packed = ZSTD_compress2(compressor->compress.get(), packData.data() + offset,
        size_t(packData.size() - offset), bytes.data(), size_t(bytes.size()));
    if (ZSTD_isError(packed) || qint64(packed) > ChunkIndex::MAX_PACKED_SIZE) {
        *error
            = QStringLiteral("cannot compress a chunk: %1")
                  .arg(QString::fromLatin1(ZSTD_isError(packed) ? ZSTD_getErrorName(packed) : "too large"));
        return false;
    }
    packData.resize(offset + qsizetype(packed));
    *located = ChunkIndex::Chunk { ContentSum::fromDigest(chunk.sha256, ContentSum::Algorithm::Sha256),
        chunk.size, pack, offset, qint64(packed) };
    stored.insert(chunk.sha256, *located);
    packLines += entryLine(chunk.sha256, *located);
    ++totals.newChunks;
    totals.newBytes += qint64(packed);
    return packData.size() < PackSize || closePack(error);
}

bool ChunkStore::closePack(QString* error)
{
    if (packData.isEmpty())
        return true;
    const QString path = QDir(directory).filePath(pack + PackSuffix);
    StagedFile output;
    if (!output.write(path, packData, StagedFile::Readable, error) || !output.moveTo(path, false, error))
        return false;
    // Only a pack in place is listed; a failure between the two leaves a
    // pack the next open() finds unlisted and rebuilds the index for.
    QFile index(QDir(directory).filePath(indexName()));
    if (!index.open(QIODevice::Append) || index.write(packLines) != packLines.size() || !index.flush()) {
        *error = QStringLiteral("cannot add to %1: %2").arg(index.fileName(), index.errorString());
        return false;
    }
    ++totals.newPacks;
    pack.clear();
    packData.clear();
    packLines.clear();
    return true;
}

bool ChunkStore::finish(QString* error)
{
    return closePack(error);
}
