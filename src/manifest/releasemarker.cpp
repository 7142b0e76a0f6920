#include "manifest/releasemarker.h"

#include "manifest/signedtext.h"

#include <limits>

namespace {

const QByteArray Magic = QByteArrayLiteral("voxmeadow-release-marker 1");

} // namespace

QString ReleaseMarker::fileName()
{
    return QStringLiteral("voxmeadow.release");
}

QString ReleaseMarker::changelogFileName()
{
    return QStringLiteral("voxmeadow.changelog");
}

QByteArray ReleaseMarker::text(const ProductIniLine::Binding& binding)
{
    return Magic + "\ntype\t" + binding.updateType.toUtf8() + "\nversion\t"
        + QByteArray::number(binding.version) + '\n';
}

bool ReleaseMarker::parse(const QByteArray& text, ProductIniLine::Binding* binding)
{
    if (text.size() > MAX_SIZE || !text.endsWith('\n'))
        return false;
    const QList<QByteArray> lines = text.left(text.size() - 1).split('\n');
    if (lines.size() != 3 || lines.at(0) != Magic)
        return false;
    const SignedText::Fields type = SignedText::split(lines.at(1));
    const SignedText::Fields version = SignedText::split(lines.at(2));
    ProductIniLine::Binding read;
    qint64 number = 0;
    if (type.size() != 2 || type[0] != "type" || !SignedText::parseText(type[1], &read.updateType)
        || !SignedText::isPathComponent(read.updateType) || version.size() != 2 || version[0] != "version"
        || !SignedText::parseNumber(version[1], &number) || number < 1
        || number > std::numeric_limits<int>::max())
        return false;
    read.version = int(number);
    *binding = read;
    return true;
}
