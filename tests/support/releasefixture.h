#ifndef RELEASEFIXTURE_H
#define RELEASEFIXTURE_H

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// Builds releases for tests with the release tool's code and the demo key.
namespace ReleaseFixture {

// Relative path -> content.
using Tree = QMap<QString, QByteArray>;

// Programs and libraries (by the updater's rule of names) get mode 0755.
bool writeTree(const QString& root, const Tree& tree);
// Deterministic pseudo-random content.
QByteArray bytes(int size, quint32 seed);

// Publishes `source` as `version` below `mirrorRoot`, signed with the demo key;
// files matching `pack` are published gzip-packed, files below lib/ go into
// the section "libs", all others into "files". With `patchFrom` (earlier
// release directories) the release also gets patches against them.
bool publish(const QString& source, const QString& mirrorRoot, int version, const QStringList& pack = {},
    const QString& previousIni = QString(), QString* error = nullptr, const QStringList& patchFrom = {});
QString productIniPath(const QString& mirrorRoot, int version);
// Replaces the product ini of a release by `content`, signed with the demo key.
bool replaceProductIni(const QString& mirrorRoot, int version, const QByteArray& content);

// Relative path -> MD5 of every file below root, except the names in `ignore`.
QMap<QString, QString> contents(const QString& root, const QStringList& ignore = {});

} // namespace ReleaseFixture

#endif
