#include "fuzzscratch.h"
#include "transfer/mirrors.h"
#include "transfer/mirrorsini.h"
#include "update/updatesettings.h"

#include <QFile>

#include <cstddef>
#include <cstdint>

// The installation's settings files: the input is read as update.ini and as
// mirrors.ini, and every value is used as a run would use it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString path
        = FuzzScratch::write(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), ".ini");
    const UpdateSettings settings = UpdateSettings::read(path);
    settings.proxyError();
    settings.problem();
    settings.displayedProxy();
    settings.extraCertificates();
    MirrorsIni::read(path);

    for (const bool alpha : { false, true }) {
        Mirrors mirrors;
        if (!(alpha ? mirrors.initAlpha(path, 12) : mirrors.initDefault(path, 12)))
            continue;
        FTPSiteAccessData mirror;
        while (mirrors.getRandomMirror(mirror) == Mirrors::MirrorChosen) {
            mirrors.releaseMirror(mirror.name);
            mirrors.removeMirror(mirror.name);
        }
    }
    QFile::remove(path);
    return 0;
}
