#ifndef PREVIOUSRELEASE_H
#define PREVIOUSRELEASE_H

#include "productinifile.h"

#include <QString>
#include <QStringList>

class ReleaseKey;

// The published release a new version replaces, whose product ini says what
// the new one deletes. That ini lies on the publishing machine and may have
// changed since it was published (a delete of mirrors.ini added, say); the
// new release would sign whatever it lists. So it is read only once it shows
// itself to be what was published in its place: its RSA signature verifies,
// its release record names the update type and the version its directory is
// named by, and the release's manifest, where it has one, is well formed,
// validly signed, bound to the same place and lists the ini's digest.
class PreviousRelease
{
public:
    // `iniPath` is RELEASE_DIR/TYPE.ini of a published release directory;
    // `key` verifies its signature.
    bool read(const QString& iniPath, const QString& updateType, const ReleaseKey& key, QString* error);

    const ProductIniFile& productIni() const { return ini; }
    // What deserves a word but refuses nothing: an ini published before
    // inis recorded their place.
    QStringList warnings() const { return warningList; }

private:
    bool checkManifest(const QString& path, const QByteArray& iniContent, QString* error) const;

    QString iniPath;
    QString type;
    int version = 0;
    ProductIniFile ini;
    QStringList warningList;
};

#endif
