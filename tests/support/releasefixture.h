#ifndef RELEASEFIXTURE_H
#define RELEASEFIXTURE_H

#include "manifest/releasemanifest.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

#include <functional>

// Builds releases for tests with the release tool's code and the demo key.
namespace ReleaseFixture {

// Relative path -> content.
using Tree = QMap<QString, QByteArray>;

// Programs and libraries (by the updater's rule of names) get mode 0755.
bool writeTree(const QString& root, const Tree& tree);
// Deterministic pseudo-random content.
QByteArray bytes(int size, quint32 seed);

// Publishes `source` as `version` below `mirrorRoot`, signed with the demo key
// and its release manifest with both demo Ed25519 keys (so that an updater
// built with either and a threshold of 1 or 2 takes it); files matching
// `pack` are published gzip-packed, files below lib/ go into the section
// "libs", all others into "files". With `patchFrom` (earlier release
// directories) the release also gets patches against them.
bool publish(const QString& source, const QString& mirrorRoot, int version, const QStringList& pack = {},
    const QString& previousIni = QString(), QString* error = nullptr, const QStringList& patchFrom = {});
QString productIniPath(const QString& mirrorRoot, int version);
// Replaces the product ini of a release by `content` (bound to the release
// unless it names a binding itself), signed with the demo key, and writes the release's manifest afresh to
// match it.
bool replaceProductIni(const QString& mirrorRoot, int version, const QByteArray& content);
// Writes the manifest of release `version` afresh from the product ini,
// patch index and files it holds now, signed with both demo Ed25519 keys. A
// line whose file the release lacks or cannot unpack is listed with the
// ini's size and the digest of no content, so that the download finds out.
bool rewriteManifest(const QString& mirrorRoot, int version, QString* error = nullptr);
// Rewrites the manifest of a release with what `edit` makes of its header
// and file lines, signed by the demo Ed25519 keys numbered in `signers` (0: a
// new key that nothing trusts).
using ManifestEdit = std::function<void(ReleaseManifest::Header*, QList<ReleaseManifest::File>*)>;
bool editManifest(const QString& mirrorRoot, int version, const QString& updateType, const ManifestEdit& edit,
    const QList<int>& signers = { 1, 2 });

// Relative path -> MD5 of every file below root, except the names in
// `ignore` and the release marker, which the release tool adds to every
// release: an installation holds what its source tree held.
QMap<QString, QString> contents(const QString& root, const QStringList& ignore = {});

} // namespace ReleaseFixture

#endif
