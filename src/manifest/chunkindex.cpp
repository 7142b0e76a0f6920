#include "manifest/chunkindex.h"

#include "manifest/contenthasher.h"
#include "manifest/signedtext.h"

#include <QFile>
#include <QIODevice>

#include <limits>

using namespace SignedText;

namespace {

const QByteArray Magic = QByteArrayLiteral("voxmeadow-chunk-index 1");
const QByteArray ReleaseTag = QByteArrayLiteral("release");
const QByteArray FileTag = QByteArrayLiteral("file");
const QByteArray ChunkTag = QByteArrayLiteral("chunk");
const QByteArray EndTag = QByteArrayLiteral("end");

// A key of a few thousand bytes and a few numbers fit with room to spare.
constexpr qint64 MaxLineLength = 16 * 1024;

QByteArray orderKey(const ChunkIndex::File& file)
{
    return file.section.toUtf8() + '\0' + file.key.toUtf8();
}

// What a file line may say: a valid name after the one before, and a
// number of chunks that can hold its size.
QString fileProblem(const ChunkIndex::File& file, const QByteArray& previous)
{
    if (!isPathComponent(file.section))
        return QStringLiteral("the section is not a valid name");
    if (!isValidKey(file.key))
        return QStringLiteral("the key is not a safe relative path");
    if (file.size < 0 || file.chunkCount < 0 || file.chunkCount > file.size
        || (file.size + ChunkIndex::MAX_CHUNK_SIZE - 1) / ChunkIndex::MAX_CHUNK_SIZE > file.chunkCount)
        return QStringLiteral("%1 chunks cannot hold %2 bytes").arg(file.chunkCount).arg(file.size);
    if (!previous.isNull() && orderKey(file) <= previous)
        return QStringLiteral("[%1] %2 is out of order or listed twice").arg(file.section, file.key);
    return QString();
}

QString chunkProblem(const ChunkIndex::Chunk& chunk, qint64 remaining, bool last)
{
    if (!isSha256(chunk.sha256))
        return QStringLiteral("the chunk's SHA-256 is malformed");
    if (chunk.size <= 0 || chunk.size > ChunkIndex::MAX_CHUNK_SIZE || chunk.size > remaining
        || (last && chunk.size != remaining))
        return QStringLiteral("the chunk sizes do not add up to the file's");
    if (!ChunkIndex::isPackName(chunk.pack.toLatin1()))
        return QStringLiteral("the pack name is not %1 lower-case hexadecimal digits")
            .arg(ChunkIndex::PACK_NAME_LENGTH);
    if (chunk.offset < 0 || chunk.packedSize <= 0 || chunk.packedSize > ChunkIndex::MAX_PACKED_SIZE
        || chunk.offset > ChunkIndex::MAX_PACK_SIZE - chunk.packedSize)
        return QStringLiteral("the chunk's place in its pack is out of range");
    return QString();
}

} // namespace

QString ChunkIndex::fileName(const QString& updateType)
{
    return updateType + QStringLiteral(".chunks");
}

QString ChunkIndex::directory()
{
    return QStringLiteral("chunks");
}

QString ChunkIndex::packPath(const QString& pack)
{
    return directory() + QLatin1Char('/') + pack + QStringLiteral(".pack");
}

bool ChunkIndex::isPackName(QByteArrayView name)
{
    if (name.size() != PACK_NAME_LENGTH)
        return false;
    for (const char c : name) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

class ChunkIndex::Writer::State
{
public:
    bool fail(const QString& why)
    {
        if (error.isEmpty())
            error = why;
        return false;
    }

    void writeLine(const QByteArray& line)
    {
        const QByteArray text = line + '\n';
        if (error.isEmpty() && device->write(text) != text.size())
            fail(QStringLiteral("cannot write: %1").arg(device->errorString()));
    }

    QIODevice* device = nullptr;
    QString error;
    QByteArray previous;
    qint64 files = 0;
    qint64 chunks = 0;
    qint64 chunksLeft = 0;
    qint64 bytesLeft = 0;
    bool finished = false;
};

ChunkIndex::Writer::Writer(QIODevice* device, const ProductIniLine::Binding& binding)
    : state(std::make_unique<State>())
{
    state->device = device;
    if (!isPathComponent(binding.updateType) || binding.version <= 0) {
        state->fail(QStringLiteral("not a valid release"));
        return;
    }
    state->writeLine(Magic);
    state->writeLine(
        ReleaseTag + '\t' + binding.updateType.toUtf8() + '\t' + QByteArray::number(binding.version));
}

ChunkIndex::Writer::~Writer() = default;

void ChunkIndex::Writer::addFile(const File& file)
{
    if (!ok())
        return;
    if (state->chunksLeft > 0 || state->finished) {
        state->fail(QStringLiteral("a file line before the last one's chunks"));
        return;
    }
    const QString problem = fileProblem(file, state->previous);
    if (!problem.isEmpty()) {
        state->fail(problem);
        return;
    }
    state->previous = orderKey(file);
    state->chunksLeft = file.chunkCount;
    state->bytesLeft = file.size;
    ++state->files;
    state->writeLine(FileTag + '\t' + file.section.toUtf8() + '\t' + file.key.toUtf8() + '\t'
        + QByteArray::number(file.size) + '\t' + QByteArray::number(file.chunkCount));
}

void ChunkIndex::Writer::addChunk(const Chunk& chunk)
{
    if (!ok())
        return;
    const QString problem = state->chunksLeft == 0
        ? QStringLiteral("more chunks than the file line counts")
        : chunkProblem(chunk, state->bytesLeft, state->chunksLeft == 1);
    if (!problem.isEmpty()) {
        state->fail(problem);
        return;
    }
    --state->chunksLeft;
    state->bytesLeft -= chunk.size;
    ++state->chunks;
    state->writeLine(ChunkTag + '\t' + chunk.sha256.digest().toHex() + '\t' + QByteArray::number(chunk.size)
        + '\t' + chunk.pack.toLatin1() + '\t' + QByteArray::number(chunk.offset) + '\t'
        + QByteArray::number(chunk.packedSize));
}

void ChunkIndex::Writer::finish()
{
    if (!ok())
        return;
    if (state->chunksLeft > 0 || state->finished) {
        state->fail(QStringLiteral("the end line before the last file's chunks"));
        return;
    }
    state->finished = true;
    state->writeLine(
        EndTag + '\t' + QByteArray::number(state->files) + '\t' + QByteArray::number(state->chunks));
}

bool ChunkIndex::Writer::ok() const
{
    return state->error.isEmpty();
}

QString ChunkIndex::Writer::errorString() const
{
    return state->error;
}

class ChunkIndex::Reader::State
{
public:
    enum class Phase { Closed, Files, Chunks, Done, Failed };

    explicit State(const QString& path)
        : file(path)
        , buffer(MaxLineLength + 2, Qt::Uninitialized)
    { }

    bool fail(const QString& why)
    {
        error = lineNumber > 0 ? QStringLiteral("line %1: %2").arg(lineNumber).arg(why) : why;
        phase = Phase::Failed;
        return false;
    }

    // The next line without its newline into `line`, split into `fields`;
    // the end of the file is an error here: the end line says where it is.
    bool readLine();
    bool expect(const QByteArray& tag, qsizetype count);
    bool readEnd();

    QFile file;
    Phase phase = Phase::Closed;
    ProductIniLine::Binding binding;
    ContentHasher hasher { ContentSum::Algorithm::Sha256 };
    QByteArray digest;
    QString error;
    QByteArray buffer;
    Fields fields;
    QByteArray previous;
    qint64 lineNumber = 0;
    qint64 bytesRead = 0;
    qint64 files = 0;
    qint64 chunks = 0;
    qint64 chunksLeft = 0;
    qint64 bytesLeft = 0;
};

bool ChunkIndex::Reader::State::readLine()
{
    ++lineNumber;
    if (file.atEnd())
        return fail(QStringLiteral("the file ends before its end line"));
    QByteArrayView text;
    const QString problem
        = SignedText::readLine(file, buffer, &bytesRead, MAX_SIZE, QStringLiteral("the chunk index"), &text);
    if (!problem.isEmpty())
        return fail(problem);
    hasher.addData(text);
    const QByteArrayView line = text.chopped(1);
    fields = split(line);
    return true;
}

bool ChunkIndex::Reader::State::expect(const QByteArray& tag, qsizetype count)
{
    if (fields.front() != tag)
        return fail(QStringLiteral("expected the %1 line").arg(QLatin1String(tag)));
    if (fields.size() != count)
        return fail(QStringLiteral("%1 fields, expected %2").arg(fields.size()).arg(count));
    return true;
}

bool ChunkIndex::Reader::State::readEnd()
{
    qint64 fileCount = 0;
    qint64 chunkCount = 0;
    if (!expect(EndTag, 3) || !parseNumber(fields[1], &fileCount) || !parseNumber(fields[2], &chunkCount))
        return phase == Phase::Failed ? false : fail(QStringLiteral("malformed end line"));
    if (fileCount != files || chunkCount != chunks)
        return fail(QStringLiteral("the end line counts %1 files and %2 chunks, the index has %3 and %4")
                        .arg(fileCount)
                        .arg(chunkCount)
                        .arg(files)
                        .arg(chunks));
    if (!file.atEnd())
        return fail(QStringLiteral("more after the end line"));
    digest = hasher.result();
    phase = Phase::Done;
    return false;
}

ChunkIndex::Reader::Reader(const QString& path)
    : state(std::make_unique<State>(path))
{ }

ChunkIndex::Reader::~Reader() = default;

bool ChunkIndex::Reader::open()
{
    if (state->phase != State::Phase::Closed)
        return false;
    if (!state->file.open(QIODevice::ReadOnly))
        return state->fail(
            QStringLiteral("cannot open %1: %2").arg(state->file.fileName(), state->file.errorString()));
    if (!state->readLine())
        return false;
    if (state->fields.size() != 1 || state->fields.front() != Magic)
        return state->fail(QStringLiteral("not a chunk index (expected \"%1\")").arg(QLatin1String(Magic)));
    qint64 version = 0;
    if (!state->readLine() || !state->expect(ReleaseTag, 3))
        return false;
    if (!parseText(state->fields[1], &state->binding.updateType)
        || !isPathComponent(state->binding.updateType))
        return state->fail(QStringLiteral("the update type is not a valid name"));
    if (!parseNumber(state->fields[2], &version) || version <= 0 || version > std::numeric_limits<int>::max())
        return state->fail(QStringLiteral("the version is not a whole number above 0"));
    state->binding.version = int(version);
    state->phase = State::Phase::Files;
    return true;
}

const ProductIniLine::Binding& ChunkIndex::Reader::binding() const
{
    return state->binding;
}

bool ChunkIndex::Reader::nextFile(File* file)
{
    if (state->phase == State::Phase::Chunks)
        return state->fail(QStringLiteral("a file asked for before the chunks of the one before"));
    if (state->phase != State::Phase::Files || !state->readLine())
        return false;
    if (state->fields.front() == EndTag)
        return state->readEnd();
    if (!state->expect(FileTag, 5))
        return false;
    File entry;
    if (!parseText(state->fields[1], &entry.section) || !parseText(state->fields[2], &entry.key)
        || !parseNumber(state->fields[3], &entry.size) || !parseNumber(state->fields[4], &entry.chunkCount))
        return state->fail(QStringLiteral("malformed file line"));
    const QString problem = fileProblem(entry, state->previous);
    if (!problem.isEmpty())
        return state->fail(problem);
    state->previous = orderKey(entry);
    state->chunksLeft = entry.chunkCount;
    state->bytesLeft = entry.size;
    ++state->files;
    if (entry.chunkCount > 0)
        state->phase = State::Phase::Chunks;
    *file = entry;
    return true;
}

bool ChunkIndex::Reader::nextChunk(Chunk* chunk)
{
    if (state->phase != State::Phase::Chunks || !state->readLine() || !state->expect(ChunkTag, 6))
        return false;
    Chunk entry;
    char raw[ContentSum::Sha256Size];
    if (!decodeHex(state->fields[1], ContentSum::Sha256Size, raw)
        || !parseNumber(state->fields[2], &entry.size) || !parseNumber(state->fields[4], &entry.offset)
        || !parseNumber(state->fields[5], &entry.packedSize))
        return state->fail(QStringLiteral("malformed chunk line"));
    entry.sha256
        = ContentSum::fromDigest(QByteArrayView(raw, ContentSum::Sha256Size), ContentSum::Algorithm::Sha256);
    entry.pack = QString::fromLatin1(state->fields[3]);
    const QString problem = chunkProblem(entry, state->bytesLeft, state->chunksLeft == 1);
    if (!problem.isEmpty())
        return state->fail(problem);
    state->bytesLeft -= entry.size;
    ++state->chunks;
    if (--state->chunksLeft == 0)
        state->phase = State::Phase::Files;
    *chunk = entry;
    return true;
}

bool ChunkIndex::Reader::done() const
{
    return state->phase == State::Phase::Done;
}

bool ChunkIndex::Reader::failed() const
{
    return state->phase == State::Phase::Failed;
}

QString ChunkIndex::Reader::errorString() const
{
    return state->error;
}

QByteArray ChunkIndex::Reader::sha256() const
{
    return done() ? state->digest : QByteArray();
}

qint64 ChunkIndex::Reader::size() const
{
    return state->bytesRead;
}
