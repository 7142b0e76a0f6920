#include "fileops/filecommittaskspecification.h"

#include "fileops/newfile.h"
#include "tasks/rollbackdatalist.h"

#include <QFile>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

FileCommitTaskSpecification::FileCommitTaskSpecification(const QString& newPath, const QString& path,
    const QString& keptPath, mode_t mode, RollbackDataList* rollbackList, QObject* parent,
    double parentProgressRange)
    : FastFileOpTaskSpecification(path, rollbackList, parent, parentProgressRange)
    , newPath(newPath)
    , keptPath(keptPath)
    , mode(mode)
{ }

bool FileCommitTaskSpecification::doOp()
{
    QString failure;
    if (commit(newPath, path, keptPath, mode, rollbackList, &failure))
        return true;
    Q_EMIT message(failure);
    return false;
}

bool FileCommitTaskSpecification::commit(const QString& newPath, const QString& path, const QString& keptPath,
    mode_t mode, RollbackDataList* rollbackList, QString* failure, int newFileMode)
{
    if (!keptPath.isEmpty() && !keepPrevious(path, keptPath)) {
        *failure = QStringLiteral("Could not keep '%1' as '%2'").arg(path, keptPath);
        return false;
    }
    const QByteArray target = QFile::encodeName(path);
    const QByteArray source = QFile::encodeName(newPath);
    const bool modeSet = newFileMode == int(mode) || ::chmod(source.constData(), mode) == 0;
    if (!modeSet || ::rename(source.constData(), target.constData()) != 0) {
        if (!keptPath.isEmpty())
            QFile::remove(keptPath);
        *failure = QStringLiteral("Could not rename '%1' to '%2'").arg(newPath, path);
        return false;
    }
    if (rollbackList) {
        rollbackList->add(keptPath.isEmpty() ? RollbackData(RollbackData::CreateFile, path)
                                             : RollbackData(RollbackData::Replace, keptPath, path));
    }
    return true;
}

bool FileCommitTaskSpecification::keepPrevious(const QString& path, const QString& keptPath)
{
    const QByteArray previous = QFile::encodeName(path);
    const QByteArray kept = QFile::encodeName(keptPath);
    if (::link(previous.constData(), kept.constData()) == 0)
        return true;
    // Where hard links are impossible, a copy with the same mode.
    struct stat info;
    if (::stat(previous.constData(), &info) != 0 || !NewFile::copy(path, keptPath))
        return false;
    if (::chmod(kept.constData(), info.st_mode & 07777) == 0)
        return true;
    QFile::remove(keptPath);
    return false;
}
