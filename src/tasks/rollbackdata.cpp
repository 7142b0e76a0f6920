#include "rollbackdata.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <cstdio>

RollbackData::RollbackData(Operation operation, const QString& previousPath, const QString& path)
    : operation(operation)
    , encodedPath(QFile::encodeName(path))
    , encodedPreviousPath(QFile::encodeName(previousPath))
{ }

RollbackData::RollbackData(Operation operation, const QString& path)
    : operation(operation)
    , encodedPath(QFile::encodeName(path))
{ }

RollbackData RollbackData::fromEncoded(
    Operation operation, const QByteArray& encodedPreviousPath, const QByteArray& encodedPath)
{
    RollbackData record(operation, QString());
    record.encodedPath = encodedPath;
    record.encodedPreviousPath = encodedPreviousPath;
    return record;
}

QString RollbackData::path() const
{
    return QFile::decodeName(encodedPath);
}

QString RollbackData::previousPath() const
{
    return QFile::decodeName(encodedPreviousPath);
}

bool RollbackData::rollback(QObject* receiver) const
{
    const QString path = this->path();
    const QString previousPath = this->previousPath();
    switch (operation) {
    case Rename:
        // QFile::rename never replaces an existing target, so a path that was
        // taken again meanwhile is reported instead of overwritten.
        if (QFile::rename(path, previousPath))
            return true;
        message(receiver, QStringLiteral("warning: rollback rename %1 to %2 failed").arg(previousPath, path));
        return false;
    case Replace:
        // rename(2) replaces the target atomically, unlike QFile::rename.
        if (std::rename(encodedPreviousPath.constData(), encodedPath.constData()) == 0)
            return true;
        message(
            receiver, QStringLiteral("warning: rollback restore %1 from %2 failed").arg(path, previousPath));
        return false;
    case CreateFile:
        if (QFile::remove(path))
            return true;
        message(receiver, QStringLiteral("warning: rollback create file %1 failed").arg(path));
        return false;
    case CreateDir: {
        const QFileInfo info(path);
        if (QDir(info.absolutePath()).rmdir(info.fileName()))
            return true;
        message(receiver, QStringLiteral("warning: rollback create dir %1 failed").arg(path));
        return false;
    }
    }
    qFatal("Should not reach here");
    return false;
}

void RollbackData::message(QObject* receiver, const QString& text)
{
    if (!receiver)
        return;
    QMetaObject::invokeMethod(receiver, "message", Qt::AutoConnection, Q_ARG(QString, text));
}
