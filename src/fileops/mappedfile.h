#ifndef MAPPEDFILE_H
#define MAPPEDFILE_H

#include <QString>

#include <functional>

// A whole file mapped into memory, so that large contents are used in
// place: an existing file read-only, or a new file of a given size, shared
// and writable, whose blocks are reserved before it is mapped so that
// writing through the map never meets a full disk. A new file that is not
// kept is removed when the object goes. An empty file maps to no memory.
class MappedFile
{
public:
    MappedFile() = default;
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool mapForReading(const QString& path, QString* error);
    // Fails when path exists.
    bool createForWriting(const QString& path, qint64 size, QString* error);
    // Unmaps the new file and keeps it; false (and the file removed) when
    // it cannot be closed cleanly.
    bool keep(QString* error);

    const unsigned char* data() const { return address; }
    unsigned char* writableData() { return address; }
    qint64 size() const { return length; }

    // Runs `work`, which touches mapped memory and leaves nothing to clean
    // up when it is cut short: false when a mapped file shrank under it (the
    // access then ends in SIGBUS, which is caught on this thread only).
    static bool guarded(const std::function<void()>& work);

private:
    void unmap();

    QString path;
    int fd = -1;
    unsigned char* address = nullptr;
    qint64 length = 0;
    bool created = false;
};

#endif
