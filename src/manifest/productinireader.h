#ifndef PRODUCTINIREADER_H
#define PRODUCTINIREADER_H

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

// Reads a product ini one key at a time, in the order QSettings hands them
// out: sections by name, then the keys of each by name. A file in the form
// QSettings itself writes (sorted, nothing quoted or escaped but keys) is
// streamed from the disk and never held whole; any other ini is read through
// QSettings, so that both give the same keys and values for every file.
class ProductIniReader
{
public:
    enum class Mode { Streamed, ThroughQSettings };

    explicit ProductIniReader(const QString& path, Mode mode = Mode::Streamed);
    ~ProductIniReader();
    ProductIniReader(const ProductIniReader&) = delete;
    ProductIniReader& operator=(const ProductIniReader&) = delete;

    // Reads the outline: the number of keys and the executables record. A
    // file that cannot be read has no keys.
    void open();
    bool isStreamed() const { return streamed; }
    qsizetype keyCount() const { return keys; }
    // Whether the delete section holds the executables record, and its paths.
    bool hasExecutables() const { return executablesRecorded; }
    const QStringList& executables() const { return executablePaths; }

    struct Line
    {
        QString section;
        QString key;
        // QSettings' text of the value; empty for a list.
        QString value;
    };
    // The next key after open(); false after the last.
    bool next(Line* line);
    // False when the file changed or failed between the outline and the
    // last key, so that the keys read are not the whole file.
    bool intact() const;

private:
    class Source;
    class Outline;

    void readThroughQSettings();
    bool scan(Outline* outline);

    QString path;
    Mode mode;
    bool streamed = false;
    qsizetype keys = 0;
    bool executablesRecorded = false;
    QStringList executablePaths;

    // Streaming: the file read a second time, line by line.
    std::unique_ptr<Source> source;
    QString currentSection;
    qsizetype delivered = 0;

    // Through QSettings: every key and value, section by section.
    QList<Line> parsed;
    qsizetype nextParsed = 0;
};

#endif
