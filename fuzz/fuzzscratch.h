#ifndef FUZZSCRATCH_H
#define FUZZSCRATCH_H

#include <QByteArray>
#include <QString>

// Files for parsers that read from a path. Each input gets a fresh name:
// QSettings keeps files it has read by name and size, and would hand back
// an earlier input of the same length.
class FuzzScratch
{
public:
    FuzzScratch() = delete;

    // A directory private to this process, removed at exit.
    static QString directory();
    // A name in directory() not used before, ending in `suffix`.
    static QString newPath(const QString& suffix);
    // Writes `data` to a file of a new name.
    static QString write(const QByteArray& data, const QString& suffix);
};

#endif
