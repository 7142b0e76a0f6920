#include "manifest/installationlayout.h"
#include "manifest/productiniline.h"

#include <QDir>

#include <cstddef>
#include <cstdint>

// One file line of a product ini: section, key and value, separated by
// newlines in the input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QStringList parts
        = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)).split(QLatin1Char('\n'));
    const QString section = parts.value(0);
    const QString key = parts.value(1);
    const QString value = parts.mid(2).join(QLatin1Char('\n'));
    ProductIniEntry entry;
    if (ProductIniLine::parseFileLine(section, key, value, &entry) != ProductIniLine::LineError::None)
        return 0;
    const FileReplaceSpecification& replace = entry.replace;
    // Every name the installation derives from an accepted line stays below it.
    const QString root = QStringLiteral("/install");
    for (const QString& relative :
        { replace.pureDestFilePath(), replace.destFileName(QStringLiteral(".new-")),
            replace.oldDestFileName(), InstallationLayout::oldCopyName(replace.pureDestFilePath(), 2) }) {
        if (!QDir::cleanPath(root + QLatin1Char('/') + relative).startsWith(root + QLatin1Char('/')))
            __builtin_trap();
    }
    return 0;
}
