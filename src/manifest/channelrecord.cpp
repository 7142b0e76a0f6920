#include "manifest/channelrecord.h"

#include "manifest/contenthasher.h"
#include "manifest/outsidetext.h"
#include "manifest/signedtext.h"

#include <limits>

using namespace SignedText;

namespace {

const QByteArray Magic = QByteArrayLiteral("voxmeadow-channels 1");
const QByteArray MagicV2 = QByteArrayLiteral("voxmeadow-channels 2");
const QByteArray TypeTag = QByteArrayLiteral("type");
const QByteArray SerialTag = QByteArrayLiteral("serial");
const QByteArray MadeTag = QByteArrayLiteral("made");
const QByteArray ExpiresTag = QByteArrayLiteral("expires");
const QByteArray ChannelTag = QByteArrayLiteral("channel");
const QByteArray EndTag = QByteArrayLiteral("end");
const QByteArray SignatureTag = QByteArrayLiteral("signature");

QByteArray field(const QByteArray& tag, const QByteArray& value)
{
    return tag + '\t' + value + '\n';
}

// One spelling per rollout: no previous version means the whole share and
// no halt; a previous version is older than the one rolled out.
bool isValidRollout(const ChannelRecord::Channel& entry)
{
    if (entry.previous == 0)
        return entry.share == ChannelRecord::FULL_SHARE && !entry.halted && entry.previousLabel.isEmpty();
    return entry.previous > 0 && entry.previous < entry.version && entry.share >= 0
        && entry.share <= ChannelRecord::FULL_SHARE;
}

} // namespace

QString ChannelRecord::fileName(const QString& updateType, int format)
{
    return updateType + (format == 2 ? QStringLiteral(".channels2") : QStringLiteral(".channels"));
}

QByteArray ChannelRecord::signingContext(int format)
{
    return format == 2 ? QByteArrayLiteral("voxmeadow channel record v2")
                       : QByteArrayLiteral("voxmeadow channel record v1");
}

QString ChannelRecord::channelName(UpdateChannel channel)
{
    switch (channel) {
    case Stable: return QStringLiteral("stable");
    case Beta: return QStringLiteral("beta");
    case Alpha: break;
    }
    return QStringLiteral("alpha");
}

bool ChannelRecord::isKnownChannel(const QString& name)
{
    for (const UpdateChannel channel : { Stable, Beta, Alpha }) {
        if (name == channelName(channel))
            return true;
    }
    return false;
}

const ChannelRecord::Channel* ChannelRecord::channel(const QString& name) const
{
    for (const Channel& candidate : channels) {
        if (candidate.name == name)
            return &candidate;
    }
    return nullptr;
}

QByteArray ChannelRecord::body() const
{
    if ((format != 1 && format != 2) || !isPathComponent(updateType) || serial < 0 || made < 0
        || expires < made || channels.size() > MAX_CHANNELS)
        return QByteArray();
    QByteArray text = (format == 2 ? MagicV2 : Magic) + '\n' + field(TypeTag, updateType.toUtf8())
        + field(SerialTag, QByteArray::number(serial)) + field(MadeTag, QByteArray::number(made))
        + field(ExpiresTag, QByteArray::number(expires));
    for (const Channel& entry : channels) {
        if (!isPathComponent(entry.name) || entry.version < 1 || !OutsideText::isPlain(entry.label))
            return QByteArray();
        text += ChannelTag + '\t' + entry.name.toUtf8() + '\t' + QByteArray::number(entry.version) + '\t'
            + entry.label.toUtf8();
        if (format == 2) {
            if (!isValidRollout(entry) || hasControlCharacter(entry.previousLabel))
                return QByteArray();
            text += '\t' + QByteArray::number(entry.previous) + '\t' + entry.previousLabel.toUtf8() + '\t'
                + QByteArray::number(entry.share) + '\t' + (entry.halted ? '1' : '0');
        }
        text += '\n';
    }
    return text + field(EndTag, QByteArray::number(channels.size()));
}

QByteArray ChannelRecord::text() const
{
    QByteArray text = body();
    if (text.isEmpty())
        return text;
    for (const ReleaseManifest::Signature& signature : signatures)
        text += signatureLine(signature.publicKey, signature.signature) + '\n';
    return text;
}

bool ChannelRecord::parse(
    const QByteArray& text, ChannelRecord* record, QByteArray* bodySha256, QString* error)
{
    const auto fail = [error](int line, const QString& why) {
        *error = QStringLiteral("line %1: %2").arg(line).arg(why);
        return false;
    };
    if (text.size() > MAX_SIZE)
        return fail(0, QStringLiteral("more than %1 bytes").arg(MAX_SIZE));
    if (!text.endsWith('\n'))
        return fail(0, QStringLiteral("does not end with a line break"));
    const QList<QByteArray> lines = text.left(text.size() - 1).split('\n');
    ChannelRecord read;
    qsizetype bodyEnd = -1;
    qint64 number = 0;
    // Header lines in their order: tag and where its value goes.
    const QByteArray headerTags[] = { TypeTag, SerialTag, MadeTag, ExpiresTag };
    qint64* const numbers[] = { nullptr, &read.serial, &read.made, &read.expires };
    int offset = 0;
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines.at(i);
        const int lineNumber = i + 1;
        offset += int(line.size()) + 1;
        if (hasControlCharacter(QByteArrayView(line)))
            return fail(lineNumber, QStringLiteral("control character"));
        if (i == 0) {
            if (line != Magic && line != MagicV2)
                return fail(lineNumber, QStringLiteral("not a channel record"));
            read.format = line == MagicV2 ? 2 : 1;
            continue;
        }
        const Fields fields = split(line);
        if (i <= 4) {
            if (fields.size() != 2 || fields[0] != headerTags[i - 1])
                return fail(
                    lineNumber, QStringLiteral("expected %1").arg(QString::fromLatin1(headerTags[i - 1])));
            if (i == 1) {
                if (!parseText(fields[1], &read.updateType) || !isPathComponent(read.updateType))
                    return fail(lineNumber, QStringLiteral("bad type"));
            } else if (!parseNumber(fields[1], numbers[i - 1])) {
                return fail(lineNumber, QStringLiteral("bad number"));
            }
            continue;
        }
        if (bodyEnd < 0 && fields[0] == ChannelTag) {
            Channel entry;
            if (fields.size() != (read.format == 2 ? 8 : 4) || !parseText(fields[1], &entry.name)
                || !isPathComponent(entry.name) || !parseNumber(fields[2], &number) || number < 1
                || number > std::numeric_limits<int>::max() || !parseText(fields[3], &entry.label)
                || read.channel(entry.name) || read.channels.size() >= MAX_CHANNELS)
                return fail(lineNumber, QStringLiteral("bad channel line"));
            entry.version = int(number);
            if (read.format == 2) {
                qint64 previous = 0;
                qint64 share = 0;
                if (!parseNumber(fields[4], &previous) || previous > std::numeric_limits<int>::max()
                    || !parseText(fields[5], &entry.previousLabel) || !parseNumber(fields[6], &share)
                    || share > FULL_SHARE || (fields[7] != "0" && fields[7] != "1"))
                    return fail(lineNumber, QStringLiteral("bad channel line"));
                entry.previous = int(previous);
                entry.share = int(share);
                entry.halted = fields[7] == "1";
                if (!isValidRollout(entry))
                    return fail(lineNumber, QStringLiteral("bad rollout"));
            }
            read.channels.append(entry);
            continue;
        }
        if (bodyEnd < 0 && fields[0] == EndTag) {
            if (fields.size() != 2 || !parseNumber(fields[1], &number) || number != read.channels.size())
                return fail(lineNumber, QStringLiteral("bad end line"));
            bodyEnd = offset;
            continue;
        }
        if (bodyEnd >= 0 && fields[0] == SignatureTag) {
            ReleaseManifest::Signature signature;
            if (!parseSignature(fields, &signature.publicKey, &signature.signature)
                || read.signatures.size() >= ReleaseManifest::MAX_SIGNATURES)
                return fail(lineNumber, QStringLiteral("bad signature line"));
            read.signatures.append(signature);
            continue;
        }
        return fail(lineNumber, QStringLiteral("unexpected line"));
    }
    if (bodyEnd < 0)
        return fail(int(lines.size()), QStringLiteral("no end line"));
    if (read.expires < read.made)
        return fail(5, QStringLiteral("expires before it was made"));
    ContentHasher hasher(ContentSum::Algorithm::Sha256);
    hasher.addData(QByteArrayView(text).first(bodyEnd));
    *bodySha256 = hasher.result();
    *record = read;
    return true;
}
