#include "productinireader.h"

#include "manifest/productiniline.h"

#include <QFile>
#include <QSettings>

#include <cstring>

namespace {

// One line of the file, judged against the form the reader streams: what
// QSettings writes for a product ini. Anything else is Unusual.
struct StreamedLine
{
    enum class Kind { Blank, Section, Key, Unusual };
    Kind kind = Kind::Unusual;
    // The section's name, or the key as written.
    QByteArrayView name;
    QByteArrayView value;
};

bool isPlainNameByte(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '.'
        || c == '-';
}

// Bytes QSettings would quote, escape, take as a comment or a line end, or
// trim; a comma makes a list and is judged where lists are read.
bool isPlainValueByte(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x20 && u != 0x7f && c != '"' && c != '\\' && c != ';' && c != '=';
}

bool isPlainValue(QByteArrayView value)
{
    if (value.isEmpty())
        return true;
    if (value.front() == ' ' || value.back() == ' ' || value.front() == '@')
        return false;
    bool ascii = true;
    for (const char c : value) {
        if (!isPlainValueByte(c))
            return false;
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii)
        return true;
    // Only well-formed UTF-8 decodes alike in one piece and in QSettings'
    // pieces; a byte-order mark it would drop.
    if (value.contains(QByteArrayView("\xef\xbb\xbf")))
        return false;
    return QString::fromUtf8(value).toUtf8() == value;
}

StreamedLine classify(QByteArrayView line)
{
    StreamedLine result;
    if (line.isEmpty()) {
        result.kind = StreamedLine::Kind::Blank;
        return result;
    }
    if (line.front() == '[') {
        if (line.size() < 3 || line.back() != ']')
            return result;
        const QByteArrayView name = line.sliced(1, line.size() - 2);
        for (const char c : name) {
            if (!isPlainNameByte(c))
                return result;
        }
        // QSettings files these keys at its top level.
        if (name.compare("general", Qt::CaseInsensitive) == 0)
            return result;
        result.kind = StreamedLine::Kind::Section;
        result.name = name;
        return result;
    }
    const qsizetype equals = line.indexOf('=');
    if (equals <= 0)
        return result;
    const QByteArrayView key = line.first(equals);
    for (const char c : key) {
        if (!isPlainNameByte(c) && c != '\\' && c != '%')
            return result;
    }
    const QByteArrayView value = line.sliced(equals + 1);
    if (!isPlainValue(value))
        return result;
    result.kind = StreamedLine::Kind::Key;
    result.name = key;
    result.value = value;
    return result;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The key as QSettings reads it, into `key`: "\" separates, %XX and %UXXXX
// stand for one UTF-16 unit. False for a malformed escape or an empty path
// component, which QSettings reads by rules of its own.
bool decodeKey(QByteArrayView written, QString* key)
{
    key->resize(0);
    const qsizetype size = written.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char c = written.at(i);
        if (c == '\\') {
            key->append(QLatin1Char('/'));
            continue;
        }
        if (c != '%') {
            key->append(QLatin1Char(c));
            continue;
        }
        qsizetype first = i + 1;
        int digits = 2;
        if (first < size && written.at(first) == 'U') {
            ++first;
            digits = 4;
        }
        if (first + digits > size)
            return false;
        char16_t unit = 0;
        for (int d = 0; d < digits; ++d) {
            const int value = hexValue(written.at(first + d));
            if (value < 0)
                return false;
            unit = char16_t(unit * 16 + value);
        }
        key->append(QChar(unit));
        i = first + digits - 1;
    }
    const QChar slash(QLatin1Char('/'));
    return !key->isEmpty() && !key->startsWith(slash) && !key->endsWith(slash)
        && !key->contains(QLatin1String("//"));
}

// The executables record's paths, as QSettings reads a list: split at
// commas, each item without the spaces around it, empty items dropped.
bool readPathList(QByteArrayView value, QStringList* paths)
{
    paths->clear();
    qsizetype start = 0;
    while (start <= value.size()) {
        qsizetype end = value.indexOf(',', start);
        if (end < 0)
            end = value.size();
        QByteArrayView item = value.sliced(start, end - start);
        while (!item.isEmpty() && item.front() == ' ')
            item = item.sliced(1);
        while (!item.isEmpty() && item.back() == ' ')
            item.chop(1);
        if (item.startsWith('@'))
            return false;
        if (!item.isEmpty())
            paths->append(QString::fromUtf8(item));
        start = end + 1;
    }
    return true;
}

} // namespace

// The file read in large pieces, handed out a line at a time.
class ProductIniReader::Source
{
public:
    explicit Source(const QString& path)
        : file(path)
    { }

    bool open() { return file.open(QIODevice::ReadOnly | QIODevice::Unbuffered); }

    bool rewind()
    {
        start = end = 0;
        atEnd = false;
        return file.seek(0);
    }

    bool failed() const { return readFailed; }

    // The next line without its end; false after the last one.
    bool nextLine(QByteArrayView* line)
    {
        for (;;) {
            const char* data = buffer.constData();
            const void* newline = std::memchr(data + start, '\n', size_t(end - start));
            if (newline) {
                const qsizetype at = static_cast<const char*>(newline) - data;
                *line = QByteArrayView(data + start, at - start);
                start = at + 1;
                return true;
            }
            if (atEnd) {
                if (start == end)
                    return false;
                *line = QByteArrayView(data + start, end - start);
                start = end;
                return true;
            }
            fill();
        }
    }

private:
    void fill()
    {
        if (start > 0) {
            std::memmove(buffer.data(), buffer.constData() + start, size_t(end - start));
            end -= start;
            start = 0;
        }
        if (end == buffer.size())
            buffer.resize(buffer.size() * 2);
        const qint64 got = file.read(buffer.data() + end, buffer.size() - end);
        if (got < 0)
            readFailed = true;
        if (got <= 0)
            atEnd = true;
        else
            end += qsizetype(got);
    }

    QFile file;
    QByteArray buffer { 256 * 1024, Qt::Uninitialized };
    qsizetype start = 0;
    qsizetype end = 0;
    bool atEnd = false;
    bool readFailed = false;
};

// What the first pass learns, and the order it checks the keys in.
class ProductIniReader::Outline
{
public:
    qsizetype keys = 0;
    bool executablesRecorded = false;
    QStringList executables;

    // Whether `key` of `section` comes after the previous key in
    // QSettings' order; it becomes the previous one.
    bool follows(QByteArrayView section, const QString& key)
    {
        if (!lastKey.isNull()) {
            const int order = section.compare(lastSection);
            if (order < 0 || (order == 0 && key <= lastKey))
                return false;
        }
        lastSection = section.toByteArray();
        lastKey = key;
        return true;
    }

private:
    QByteArray lastSection;
    QString lastKey;
};

ProductIniReader::ProductIniReader(const QString& path, Mode mode)
    : path(path)
    , mode(mode)
{ }

ProductIniReader::~ProductIniReader() = default;

void ProductIniReader::open()
{
    keys = 0;
    executablesRecorded = false;
    executablePaths.clear();
    parsed.clear();
    nextParsed = 0;
    streamed = false;
    if (mode == Mode::Streamed) {
        source = std::make_unique<Source>(path);
        Outline outline;
        if (source->open() && scan(&outline) && source->rewind()) {
            streamed = true;
            keys = outline.keys;
            executablesRecorded = outline.executablesRecorded;
            executablePaths = outline.executables;
            currentSection.clear();
            delivered = 0;
            return;
        }
        source.reset();
    }
    readThroughQSettings();
}

bool ProductIniReader::scan(Outline* outline)
{
    const QString executablesKey = ProductIniLine::executablesKey();
    const QByteArray deleteSection = ProductIniLine::deleteSection().toLatin1();
    QByteArrayView line;
    QByteArray section;
    QString key;
    while (source->nextLine(&line)) {
        const StreamedLine judged = classify(line);
        switch (judged.kind) {
        case StreamedLine::Kind::Unusual: return false;
        case StreamedLine::Kind::Blank: break;
        case StreamedLine::Kind::Section: section = judged.name.toByteArray(); break;
        case StreamedLine::Kind::Key:
            // Keys above every section are QSettings' top level.
            if (section.isNull() || !decodeKey(judged.name, &key) || !outline->follows(section, key))
                return false;
            if (section == deleteSection && key == executablesKey) {
                if (!readPathList(judged.value, &outline->executables))
                    return false;
                outline->executablesRecorded = true;
            } else if (judged.value.contains(',')) {
                return false;
            }
            ++outline->keys;
            break;
        }
    }
    // A file that cannot be read whole has no keys, as for QSettings.
    if (source->failed())
        *outline = Outline();
    return true;
}

bool ProductIniReader::intact() const
{
    return !streamed || (delivered == keys && !source->failed());
}

bool ProductIniReader::next(Line* line)
{
    if (!streamed) {
        if (nextParsed == parsed.size())
            return false;
        *line = parsed.at(nextParsed++);
        return true;
    }
    QByteArrayView text;
    while (delivered < keys && source->nextLine(&text)) {
        const StreamedLine judged = classify(text);
        if (judged.kind == StreamedLine::Kind::Section) {
            // One text for the section's lines: their copies share it.
            if (currentSection != QLatin1String(judged.name))
                currentSection = QString::fromLatin1(judged.name);
        } else if (judged.kind == StreamedLine::Kind::Key) {
            line->section = currentSection;
            line->key = QString();
            line->key.reserve(judged.name.size());
            if (!decodeKey(judged.name, &line->key))
                break;
            // A list, which only the executables record may be, has no text.
            line->value = judged.value.contains(',') ? QString() : QString::fromUtf8(judged.value);
            ++delivered;
            return true;
        } else if (judged.kind == StreamedLine::Kind::Unusual) {
            break;
        }
    }
    return false;
}

void ProductIniReader::readThroughQSettings()
{
    QSettings settings(path, QSettings::IniFormat);
    const QStringList names = settings.childGroups();
    for (const QString& name : names) {
        settings.beginGroup(name);
        const QStringList sectionKeys = settings.allKeys();
        for (const QString& key : sectionKeys)
            parsed.append(Line { name, key, settings.value(key).toString() });
        settings.endGroup();
    }
    keys = parsed.size();
    executablesRecorded = ProductIniLine::readExecutables(settings, &executablePaths);
}
