#include "stagedfile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Qt keeps the owner's, the group's and the others' bits in the fourth,
// second and first hexadecimal digit.
mode_t modeOf(QFileDevice::Permissions permissions)
{
    const int bits = int(permissions);
    return mode_t(((bits >> 12) & 7) << 6 | ((bits >> 4) & 7) << 3 | (bits & 7));
}

} // namespace

StagedFile::~StagedFile()
{
    output.close();
    if (!path.isEmpty())
        QFile::remove(path);
}

bool StagedFile::create(const QString& target, QFileDevice::Permissions permissions, QString* error)
{
    const QFileInfo info(target);
    // An unpredictable name that this call creates itself (O_EXCL): neither
    // a link nor a file someone placed beside the target is written through.
    QByteArray name
        = QFile::encodeName(info.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(info.fileName())));
    const int fd = ::mkostemp(name.data(), O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        *error = QStringLiteral("cannot create a file beside %1: %2")
                     .arg(target, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    path = QFile::decodeName(name);
    // Created for the owner alone; the mode it is meant to have is set on
    // the open file, never through its name.
    if (::fchmod(fd, modeOf(permissions)) != 0) {
        *error
            = QStringLiteral("cannot write %1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
        ::close(fd);
        return false;
    }
    if (!output.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, output.errorString());
        ::close(fd);
        return false;
    }
    return true;
}

bool StagedFile::finish(QString* error)
{
    if (!output.isOpen() || !output.flush() || ::fsync(output.handle()) != 0) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, output.errorString());
        return false;
    }
    output.close();
    return true;
}

bool StagedFile::write(
    const QString& target, const QByteArray& data, QFileDevice::Permissions permissions, QString* error)
{
    if (!create(target, permissions, error))
        return false;
    if (output.write(data) != data.size()) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, output.errorString());
        return false;
    }
    return finish(error);
}

bool StagedFile::moveTo(const QString& target, bool exchange, QString* error)
{
    if (::renameat2(AT_FDCWD, QFile::encodeName(path).constData(), AT_FDCWD,
            QFile::encodeName(target).constData(), exchange ? RENAME_EXCHANGE : 0)
        != 0) {
        *error = QStringLiteral("cannot replace %1: %2")
                     .arg(target, QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    if (!exchange)
        path.clear();
    return true;
}

bool StagedFile::replacePair(const QString& privatePath, const QByteArray& privateData,
    const QString& publicPath, const QByteArray& publicData, QString* error)
{
    StagedFile newPrivate;
    StagedFile newPublic;
    if (!newPrivate.write(privatePath, privateData, OwnerOnly, error)
        || !newPublic.write(publicPath, publicData, Readable, error))
        return false;
    // The new private key trades places with the old one, which keeps the
    // temporary name until the public key has followed.
    const bool exchange = QFileInfo::exists(privatePath) || QFileInfo(privatePath).isSymLink();
    if (!newPrivate.moveTo(privatePath, exchange, error))
        return false;
    if (!newPublic.moveTo(publicPath, false, error)) {
        QString ignored;
        if (exchange)
            newPrivate.moveTo(privatePath, true, &ignored);
        else
            QFile::remove(privatePath);
        return false;
    }
    return true;
}
