#ifndef MIRRORSINI_H
#define MIRRORSINI_H

#include <QString>
#include <QStringList>
#include <QVector>

// mirrors.ini as the updater reads it: the list of mirror names in group
// [mirrors] (size, N\mirror), and for each name a group with its url and
// retries. The mistakes found come each as one sentence that names the
// file, the entry and the problem; a run with any of them goes no further.
class MirrorsIni
{
public:
    static constexpr int DefaultRetries = 2;

    struct Entry
    {
        QString name;
        // Empty when the mirror's group gives none.
        QString url;
        int retries = DefaultRetries;
    };

    static MirrorsIni read(const QString& path);

    // The mirrors in listed order, blank names left out; an unusable
    // retries value reads as the default.
    QVector<Entry> entries;
    // Empty when the file can be used.
    QStringList problems;

private:
    void checkList(class QSettings& settings, int size);
    void checkMirror(QSettings& settings, const Entry& entry);
};

#endif
