#include "fuzzscratch.h"
#include "update/sessiondirectory.h"
#include "update/updateinidata.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>

// The session record in update.ini, as the next start reads it to resume
// or clean up a run.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // A directory of its own per input: the settings file has a fixed name.
    const QString path = FuzzScratch::newPath(QString());
    QDir().mkpath(path);
    const InstallationLayout layout(path, QString());
    QFile file(layout.settingsFile());
    if (file.open(QIODevice::WriteOnly))
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    file.close();
    int version = 0;
    QString type;
    QString dir;
    if (UpdateIniData::get(layout, &version, &type, &dir))
        SessionDirectory::isOwn(dir);
    QDir(path).removeRecursively();
    return 0;
}
