#ifndef NEWFILE_H
#define NEWFILE_H

#include <QString>

#include <functional>

// A file that did not exist before and is either completed or removed again:
// opening fails when the path is taken, and a file not kept by keep() is
// deleted when this object goes, so no failure leaves a partial file. The
// file is created by this object, never opened through a link or a file
// someone else left at the path.
class NewFile
{
public:
    // Copies report how far they are after every this many bytes.
    static constexpr qint64 progressStep = 16 * 1024 * 1024;

    // What to do when the path is taken.
    enum Taken {
        Fail,
        // The name is removed (a link itself, never what it points to) and
        // the file created anew: for a fixed temporary name that a killed
        // run may have left.
        Replace,
    };

    explicit NewFile(const QString& path, Taken taken = Fail);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool isOpen() const { return fd >= 0; }
    int handle() const { return fd; }
    bool write(const char* data, qint64 size);
    // Appends everything `sourceFd` has from its current offset. onStep, if
    // given, hears the bytes appended so far whenever a progressStep is done.
    bool copyFrom(int sourceFd, const std::function<void(qint64)>& onStep = {});
    // Closes the file and keeps it; false (and the file removed) when the
    // close reports a failed write.
    bool keep();

    // Copies `source` into the new file `target`. onProgress, if given,
    // hears the fraction done whenever a progressStep is done.
    static bool copy(
        const QString& source, const QString& target, const std::function<void(qreal)>& onProgress = {});

private:
    QString path;
    int fd;
};

#endif
