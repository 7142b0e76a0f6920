#include "stagedfile.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

StagedFile::~StagedFile()
{
    output.close();
    if (!path.isEmpty())
        QFile::remove(path);
}

bool StagedFile::create(const QString& target, QFileDevice::Permissions permissions, QString* error)
{
    const QFileInfo info(target);
    QTemporaryFile file(info.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(info.fileName())));
    file.setAutoRemove(false);
    if (!file.open()) {
        *error = QStringLiteral("cannot create a file beside %1: %2").arg(target, file.errorString());
        return false;
    }
    path = file.fileName();
    file.close();
    output.setFileName(path);
    if (!output.open(QIODevice::WriteOnly) || !output.setPermissions(permissions)) {
        *error = QStringLiteral("cannot write %1: %2").arg(path, output.errorString());
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
