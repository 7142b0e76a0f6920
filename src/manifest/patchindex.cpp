#include "manifest/patchindex.h"

#include <QRegularExpression>

namespace {

const QByteArray HeaderPrefix = QByteArrayLiteral("voxmeadow-patch-index ");
const QByteArray ReleaseTag = QByteArrayLiteral("release");
constexpr int FieldCount = 8;

QByteArray header(ContentSum::Algorithm algorithm)
{
    return HeaderPrefix + (algorithm == ContentSum::Algorithm::Md5 ? '1' : '2');
}

bool isSum(const QString& text, ContentSum::Algorithm algorithm)
{
    static const QRegularExpression md5(QStringLiteral("^[0-9A-Fa-f]{32}$"));
    static const QRegularExpression sha256(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    return (algorithm == ContentSum::Algorithm::Md5 ? md5 : sha256).match(text).hasMatch();
}

// Unsigned decimal without sign or spaces; -1 for anything else.
qint64 parseSize(const QString& text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    return ok && value >= 0 && !text.startsWith(QLatin1Char('+')) ? value : -1;
}

} // namespace

bool PatchIndex::Entry::operator==(const Entry& other) const
{
    return key == other.key && baseMd5 == other.baseMd5 && baseSize == other.baseSize && path == other.path
        && md5 == other.md5 && size == other.size && resultMd5 == other.resultMd5
        && resultSize == other.resultSize;
}

QString PatchIndex::fileName(const QString& updateType)
{
    return updateType + QStringLiteral(".patches");
}

QString PatchIndex::directory()
{
    return QStringLiteral("patches");
}

QByteArray PatchIndex::serialize() const
{
    QByteArray text = header(algorithm) + '\n';
    text += ReleaseTag + '\t' + binding.updateType.toUtf8() + '\t' + QByteArray::number(binding.version)
        + '\n';
    for (const Entry& entry : entries) {
        const QStringList fields { entry.key, entry.baseMd5, QString::number(entry.baseSize), entry.path,
            entry.md5, QString::number(entry.size), entry.resultMd5, QString::number(entry.resultSize) };
        text += fields.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    return text;
}

bool PatchIndex::parse(const QByteArray& data, QStringList* problems)
{
    binding = ProductIniLine::Binding();
    entries.clear();
    algorithm = ContentSum::Algorithm::Md5;
    const QList<QByteArray> lines = data.split('\n');
    // The text ends with a newline: the last piece is empty.
    if (lines.size() < 3 || !lines.last().isEmpty())
        return false;
    if (lines.first() == header(ContentSum::Algorithm::Sha256))
        algorithm = ContentSum::Algorithm::Sha256;
    else if (lines.first() != header(ContentSum::Algorithm::Md5))
        return false;
    const QStringList release = QString::fromUtf8(lines.at(1)).split(QLatin1Char('\t'));
    if (release.size() != 3 || release.at(0) != QLatin1String(ReleaseTag) || release.at(1).isEmpty())
        return false;
    bool ok = false;
    binding.updateType = release.at(1);
    binding.version = release.at(2).toInt(&ok);
    if (!ok || binding.version <= 0)
        return false;

    for (qsizetype i = 2; i + 1 < lines.size(); ++i) {
        const QStringList fields = QString::fromUtf8(lines.at(i)).split(QLatin1Char('\t'));
        const auto refuse = [&](const QString& why) {
            problems->append(QStringLiteral("line %1: %2").arg(i + 1).arg(why));
        };
        if (fields.size() != FieldCount) {
            refuse(QStringLiteral("%1 fields instead of %2").arg(fields.size()).arg(FieldCount));
            continue;
        }
        Entry entry;
        entry.key = fields.at(0);
        entry.baseMd5 = fields.at(1);
        entry.baseSize = parseSize(fields.at(2));
        entry.path = fields.at(3);
        entry.md5 = fields.at(4);
        entry.size = parseSize(fields.at(5));
        entry.resultMd5 = fields.at(6);
        entry.resultSize = parseSize(fields.at(7));
        if (!ProductIniLine::isSafeRelativePath(entry.key))
            refuse(QStringLiteral("the key %1 leaves the installation").arg(entry.key));
        else if (!ProductIniLine::isSafeRelativePath(entry.path))
            refuse(QStringLiteral("the patch path %1 leaves the release directory").arg(entry.path));
        else if (!isSum(entry.baseMd5, algorithm) || !isSum(entry.md5, algorithm)
            || !isSum(entry.resultMd5, algorithm))
            refuse(QStringLiteral("a sum is not %1 hexadecimal digits")
                       .arg(2 * ContentSum::digestSize(algorithm)));
        else if (entry.baseSize < 0 || entry.size < 0 || entry.resultSize < 0)
            refuse(QStringLiteral("a size is not a number"));
        else
            entries.append(entry);
    }
    return true;
}
