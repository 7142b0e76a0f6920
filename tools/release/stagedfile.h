#ifndef STAGEDFILE_H
#define STAGEDFILE_H

#include <QFile>
#include <QString>

// A file written beside its target under a hidden temporary name and synced
// to the disk before it takes the target's name, so that the target is
// either what it was or the whole new content. The temporary file is
// removed again unless it was moved into place.
class StagedFile
{
public:
    // A private key's file, and one for anybody to read.
    static constexpr QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    static constexpr QFileDevice::Permissions Readable
        = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;

    StagedFile() = default;
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates the temporary file beside target, for writing through file().
    bool create(const QString& target, QFileDevice::Permissions permissions, QString* error);
    QFile& file() { return output; }
    // Flushes, syncs and closes what was written through file().
    bool finish(QString* error);
    // create(), the data, finish().
    bool write(
        const QString& target, const QByteArray& data, QFileDevice::Permissions permissions, QString* error);
    // Replaces target atomically; with `exchange` the file that was at
    // target takes this file's temporary name and stays staged.
    bool moveTo(const QString& target, bool exchange, QString* error);

    // Both files of a key pair, each written in full beside its target
    // before either replaces anything: any failure leaves an existing pair
    // as it was.
    // The private file is written OwnerOnly, the public one Readable.
    static bool replacePair(const QString& privatePath, const QByteArray& privateData,
        const QString& publicPath, const QByteArray& publicData, QString* error);

private:
    QFile output;
    QString path;
};

#endif
