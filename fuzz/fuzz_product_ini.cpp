#include "fuzzscratch.h"
#include "manifest/filespecifications.h"
#include "manifest/installationlayout.h"
#include "manifest/productiniline.h"
#include "update/makedownloadreplacelistfunc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cstddef>
#include <cstdint>

namespace {

// An installation with a few files for the compiler to compare.
InstallationLayout installation()
{
    const QString root = QDir(FuzzScratch::directory()).filePath(QStringLiteral("install"));
    QDir().mkpath(root + QStringLiteral("/bin"));
    for (const char* name : { "bin/app", "readme.txt", "vx3client_runscript.sh" }) {
        QFile file(QDir(root).filePath(QString::fromLatin1(name)));
        if (file.open(QIODevice::WriteOnly))
            file.write(name);
    }
    return InstallationLayout(root, FuzzScratch::directory());
}

bool below(const InstallationLayout& layout, const QString& relative)
{
    return QDir::cleanPath(layout.installedPath(relative)).startsWith(layout.root() + QLatin1Char('/'));
}

} // namespace

// A whole product ini as the list compiler and the download step read it,
// with the release records in its delete section.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const InstallationLayout layout = installation();
    const QString path
        = FuzzScratch::write(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), ".ini");
    const QString updateType = QFileInfo(path).completeBaseName();

    FileSpecifications lists;
    MakeDownloadReplaceListFunc compiler(layout, updateType, lists);
    if (compiler.run()) {
        // Nothing the lists name may lie outside the installation.
        for (const FileReplaceSpecification& replace : std::as_const(lists.replaceList))
            if (!below(layout, replace.pureDestFilePath()))
                __builtin_trap();
        for (const QString& entry : std::as_const(lists.deleteList))
            if (!below(layout, entry))
                __builtin_trap();
    }
    ProductIniLine::readBindings(path);
    {
        QSettings settings(path, QSettings::IniFormat);
        QStringList executables;
        ProductIniLine::readExecutables(settings, &executables);
    }
    QFile::remove(path);
    return 0;
}
