#include "manifest/releasemanifest.h"

#include "manifest/contenthasher.h"
#include "manifest/signedtext.h"

#include <QFile>
#include <QIODevice>
#include <QVarLengthArray>

#include <limits>

using namespace SignedText;

namespace {

const QByteArray Magic = QByteArrayLiteral("voxmeadow-release-manifest 1");
const QByteArray ReleaseTag = QByteArrayLiteral("release");
const QByteArray PublishedTag = QByteArrayLiteral("published");
const QByteArray IniTag = QByteArrayLiteral("ini");
const QByteArray PatchesTag = QByteArrayLiteral("patches");
const QByteArray FileTag = QByteArrayLiteral("file");
const QByteArray EndTag = QByteArrayLiteral("end");
const QByteArray SignatureTag = QByteArrayLiteral("signature");

// Far above any real line (a key of a few hundred bytes and four numbers),
// and the most a reader ever holds.
constexpr qint64 MaxLineLength = 64 * 1024;

bool parseSha256(QByteArrayView text, ContentSum* sum)
{
    char raw[ContentSum::Sha256Size];
    if (!decodeHex(text, ContentSum::Sha256Size, raw))
        return false;
    *sum = ContentSum::fromDigest(QByteArrayView(raw, ContentSum::Sha256Size), ContentSum::Algorithm::Sha256);
    return true;
}

QByteArray hex(const ContentSum& sum)
{
    return sum.digest().toHex();
}

} // namespace

QString ReleaseManifest::fileName(const QString& updateType)
{
    return updateType + QStringLiteral(".manifest");
}

QByteArray ReleaseManifest::signingContext()
{
    return QByteArrayLiteral("voxmeadow release manifest v1");
}

class ReleaseManifest::Writer::State
{
public:
    explicit State(QIODevice* device)
        : device(device)
    { }

    void writeLine(const QByteArray& line, bool body)
    {
        const QByteArray text = line + '\n';
        if (body)
            hasher.addData(text);
        ok = ok && device->write(text) == text.size();
    }

    QIODevice* device;
    ContentHasher hasher { ContentSum::Algorithm::Sha256 };
    qint64 files = 0;
    bool ok = true;
    bool finished = false;
};

ReleaseManifest::Writer::Writer(QIODevice* device, const Header& header)
    : state(std::make_unique<State>(device))
{
    // What the reader would refuse is never written.
    state->ok = isPathComponent(header.binding.updateType) && header.binding.version > 0
        && header.published >= 0 && isSha256(header.iniSha256) && header.iniSize >= 0
        && (header.patchesSha256.isEmpty() || (isSha256(header.patchesSha256) && header.patchesSize >= 0));
    if (!state->ok)
        return;
    state->writeLine(Magic, true);
    state->writeLine(ReleaseTag + '\t' + header.binding.updateType.toUtf8() + '\t'
            + QByteArray::number(header.binding.version),
        true);
    state->writeLine(PublishedTag + '\t' + QByteArray::number(header.published), true);
    state->writeLine(IniTag + '\t' + hex(header.iniSha256) + '\t' + QByteArray::number(header.iniSize), true);
    if (header.hasPatches())
        state->writeLine(
            PatchesTag + '\t' + hex(header.patchesSha256) + '\t' + QByteArray::number(header.patchesSize),
            true);
}

ReleaseManifest::Writer::~Writer() = default;

void ReleaseManifest::Writer::addFile(const File& file)
{
    if (!state->ok || state->finished)
        return;
    state->ok = isPathComponent(file.section) && isValidKey(file.key) && isSha256(file.sha256)
        && file.size >= 0
        && (file.unpackedSha256.isEmpty() || (isSha256(file.unpackedSha256) && file.unpackedSize >= 0));
    if (!state->ok)
        return;
    QByteArray line = FileTag + '\t' + file.section.toUtf8() + '\t' + file.key.toUtf8() + '\t'
        + hex(file.sha256) + '\t' + QByteArray::number(file.size);
    if (file.isPacked())
        line += '\t' + hex(file.unpackedSha256) + '\t' + QByteArray::number(file.unpackedSize);
    state->writeLine(line, true);
    ++state->files;
}

QByteArray ReleaseManifest::Writer::finish()
{
    if (!state->ok || state->finished) {
        state->ok = false;
        return QByteArray();
    }
    state->writeLine(EndTag + '\t' + QByteArray::number(state->files), true);
    state->finished = true;
    const QByteArray body = state->hasher.result();
    return state->ok ? body : QByteArray();
}

void ReleaseManifest::Writer::writeSignature(const Signature& signature)
{
    if (!state->ok)
        return;
    state->ok = state->finished && signature.publicKey.size() == SignatureKeySize
        && signature.signature.size() == SignatureSize;
    if (state->ok)
        state->writeLine(signatureLine(signature.publicKey, signature.signature), false);
}

bool ReleaseManifest::Writer::ok() const
{
    return state->ok;
}

class ReleaseManifest::Reader::State
{
public:
    enum class Phase { Closed, Files, Done, Failed };

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

    // The next line without its newline into `line`; false at the end of the
    // file (with `atEnd`) or on an error (which sets the phase).
    bool readLine();
    bool readHeader();
    bool readFile(const Fields& fields, File* result);
    bool readEnd(const Fields& fields);
    bool readSignature(const Fields& fields);

    QFile file;
    Phase phase = Phase::Closed;
    Header header;
    QList<Signature> signatures;
    QByteArray bodySha256;
    ContentHasher hasher { ContentSum::Algorithm::Sha256 };
    QString error;
    qint64 lineNumber = 0;
    qint64 fileLines = 0;
    qint64 bytesRead = 0;
    QByteArray buffer;
    QByteArrayView line;
    bool atEnd = false;
    // A line read ahead that the next call takes first.
    bool pending = false;
    bool inBody = true;
};

bool ReleaseManifest::Reader::State::readLine()
{
    if (pending) {
        pending = false;
        return true;
    }
    ++lineNumber;
    if (file.atEnd()) {
        atEnd = true;
        return false;
    }
    QByteArrayView text;
    const QString problem
        = SignedText::readLine(file, buffer, &bytesRead, MAX_SIZE, QStringLiteral("the manifest"), &text);
    if (!problem.isEmpty())
        return fail(problem);
    if (inBody)
        hasher.addData(text);
    line = text.chopped(1);
    return true;
}

bool ReleaseManifest::Reader::State::readHeader()
{
    if (!readLine())
        return atEnd ? fail(QStringLiteral("the file is empty")) : false;
    if (line != Magic)
        return fail(QStringLiteral("not a release manifest (expected \"%1\")").arg(QLatin1String(Magic)));

    const auto next = [this](const QByteArray& tag, qsizetype count, Fields* fields) {
        if (!readLine())
            return atEnd ? fail(QStringLiteral("the file ends before the %1 line").arg(QLatin1String(tag)))
                         : false;
        *fields = split(line);
        if (fields->front() != tag)
            return fail(QStringLiteral("expected the %1 line").arg(QLatin1String(tag)));
        if (fields->size() != count)
            return fail(QStringLiteral("%1 fields, expected %2").arg(fields->size()).arg(count));
        return true;
    };
    Fields fields;
    qint64 number = 0;
    if (!next(ReleaseTag, 3, &fields))
        return false;
    if (!parseText(fields[1], &header.binding.updateType) || !isPathComponent(header.binding.updateType))
        return fail(QStringLiteral("the update type is not a valid name"));
    if (!parseNumber(fields[2], &number) || number <= 0 || number > std::numeric_limits<int>::max())
        return fail(QStringLiteral("the version is not a whole number above 0"));
    header.binding.version = int(number);

    if (!next(PublishedTag, 2, &fields))
        return false;
    if (!parseNumber(fields[1], &header.published))
        return fail(QStringLiteral("the publishing time is not a number"));

    if (!next(IniTag, 3, &fields))
        return false;
    if (!parseSha256(fields[1], &header.iniSha256) || !parseNumber(fields[2], &header.iniSize))
        return fail(QStringLiteral("the product ini's SHA-256 or size is malformed"));

    // The patch index is optional: whatever else comes is the next call's.
    if (!readLine())
        return atEnd ? fail(QStringLiteral("the file ends before its end line")) : false;
    fields = split(line);
    if (fields.front() != PatchesTag) {
        pending = true;
        return true;
    }
    if (fields.size() != 3)
        return fail(QStringLiteral("%1 fields, expected 3").arg(fields.size()));
    if (!parseSha256(fields[1], &header.patchesSha256) || !parseNumber(fields[2], &header.patchesSize))
        return fail(QStringLiteral("the patch index's SHA-256 or size is malformed"));
    return true;
}

bool ReleaseManifest::Reader::State::readFile(const Fields& fields, File* result)
{
    if (fields.size() != 5 && fields.size() != 7)
        return fail(QStringLiteral("%1 fields, expected 5 or 7").arg(fields.size()));
    File entry;
    if (!parseText(fields[1], &entry.section) || !isPathComponent(entry.section))
        return fail(QStringLiteral("the section is not a valid name"));
    if (!parseText(fields[2], &entry.key) || !isValidKey(entry.key))
        return fail(QStringLiteral("the key is not a safe relative path"));
    if (!parseSha256(fields[3], &entry.sha256) || !parseNumber(fields[4], &entry.size))
        return fail(QStringLiteral("the file's SHA-256 or size is malformed"));
    if (fields.size() == 7
        && (!parseSha256(fields[5], &entry.unpackedSha256) || !parseNumber(fields[6], &entry.unpackedSize)))
        return fail(QStringLiteral("the unpacked content's SHA-256 or size is malformed"));
    ++fileLines;
    *result = entry;
    return true;
}

bool ReleaseManifest::Reader::State::readEnd(const Fields& fields)
{
    qint64 count = 0;
    if (fields.size() != 2 || !parseNumber(fields[1], &count))
        return fail(QStringLiteral("malformed end line"));
    if (count != fileLines)
        return fail(QStringLiteral("the end line counts %1 file lines, the manifest has %2")
                        .arg(count)
                        .arg(fileLines));
    bodySha256 = hasher.result();
    inBody = false;
    while (readLine()) {
        if (!readSignature(split(line)))
            return false;
    }
    if (!atEnd)
        return false;
    phase = Phase::Done;
    return true;
}

bool ReleaseManifest::Reader::State::readSignature(const Fields& fields)
{
    if (fields.front() != SignatureTag)
        return fail(QStringLiteral("only signature lines may follow the end line"));
    if (signatures.size() == MAX_SIGNATURES)
        return fail(QStringLiteral("more than %1 signatures").arg(MAX_SIGNATURES));
    Signature signature;
    if (!parseSignature(fields, &signature.publicKey, &signature.signature))
        return fail(QStringLiteral("a signature line holds a 32-byte key and a 64-byte signature in "
                                   "lower-case hexadecimal"));
    signatures.append(signature);
    return true;
}

ReleaseManifest::Reader::Reader(const QString& path)
    : state(std::make_unique<State>(path))
{ }

ReleaseManifest::Reader::~Reader() = default;

bool ReleaseManifest::Reader::open()
{
    if (state->phase != State::Phase::Closed)
        return false;
    if (!state->file.open(QIODevice::ReadOnly))
        return state->fail(
            QStringLiteral("cannot open %1: %2").arg(state->file.fileName(), state->file.errorString()));
    if (state->file.size() > MAX_SIZE)
        return state->fail(QStringLiteral("the manifest is larger than %1 bytes").arg(MAX_SIZE));
    if (!state->readHeader())
        return false;
    state->phase = State::Phase::Files;
    return true;
}

const ReleaseManifest::Header& ReleaseManifest::Reader::header() const
{
    return state->header;
}

bool ReleaseManifest::Reader::nextFile(File* file)
{
    if (state->phase != State::Phase::Files)
        return false;
    if (!state->readLine()) {
        if (state->atEnd)
            state->fail(QStringLiteral("the file ends before its end line"));
        return false;
    }
    const Fields fields = split(state->line);
    if (fields.front() == FileTag)
        return state->readFile(fields, file);
    if (fields.front() == EndTag)
        state->readEnd(fields);
    else
        state->fail(QStringLiteral("expected a file line or the end line"));
    return false;
}

bool ReleaseManifest::Reader::readToEnd()
{
    File ignored;
    while (nextFile(&ignored)) { }
    return state->phase == State::Phase::Done;
}

bool ReleaseManifest::Reader::failed() const
{
    return state->phase == State::Phase::Failed;
}

QString ReleaseManifest::Reader::errorString() const
{
    return state->error;
}

QByteArray ReleaseManifest::Reader::bodySha256() const
{
    return state->phase == State::Phase::Done ? state->bodySha256 : QByteArray();
}

const QList<ReleaseManifest::Signature>& ReleaseManifest::Reader::signatures() const
{
    return state->signatures;
}
