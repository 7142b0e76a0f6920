#ifndef FILETREE_H
#define FILETREE_H

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

class RollbackDataList;

// Helpers for tests that work on real directory trees.
namespace FileTree {

// Writes `data` to `path`, creating missing parent directories.
bool write(const QString& path, const QByteArray& data);
QByteArray read(const QString& path);
QByteArray gzip(const QByteArray& data);
QString md5Hex(const QByteArray& data);
// Bytes that repeat nowhere near their period, so that a shifted or
// truncated copy never compares equal.
QByteArray pattern(int size);

// Everything below `root`: each file with its content hash and mode, each
// directory with its mode. Two snapshots are equal exactly when the trees
// hold the same names, contents and permissions.
struct Snapshot
{
    QMap<QString, QString> files;
    QStringList dirs;

    bool operator==(const Snapshot& other) const { return files == other.files && dirs == other.dirs; }
    // The names that differ, for failure messages.
    QString difference(const Snapshot& other) const;
};

Snapshot snapshot(const QString& root);

// The records of a journal as "<operation> <path>[ <- <previous path>]",
// paths relative to `root`.
QStringList describe(const RollbackDataList& journal, const QString& root);

} // namespace FileTree

#endif
