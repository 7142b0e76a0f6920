#ifndef RELEASEMARKER_H
#define RELEASEMARKER_H

#include "manifest/productiniline.h"

#include <QByteArray>
#include <QString>

// The small file the release tool adds to every release it publishes, at
// the installation's top, listed in the product ini and the manifest like
// any other file: it names the release's update type and version, so that
// an installation tells which release it holds even where update.ini keeps
// no record of it. UTF-8 text, exactly:
//
//   voxmeadow-release-marker 1
//   type <type>
//   version <number>
//
// fields separated by tabs, each line ending in a line break.
class ReleaseMarker
{
public:
    static constexpr qint64 MAX_SIZE = 4 * 1024;

    // Its path below the installation: a name the tool refuses in a source
    // tree, so no client file clashes with it.
    static QString fileName();
    // Beside it, with publish --changelog, the changelog as an ordinary file
    // of the release, so that the manifest vouches for it (ChangelogVouch).
    static QString changelogFileName();
    static QByteArray text(const ProductIniLine::Binding& binding);
    // False for anything not written exactly as text() writes it.
    static bool parse(const QByteArray& text, ProductIniLine::Binding* binding);
};

#endif
