#include "filedeletetaskspecification.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <unistd.h>

FileDeleteTaskSpecification::FileDeleteTaskSpecification(
    bool reportFailure, const QString& path, QObject* parent, double parentProgressRange)
    : FastFileOpTaskSpecification(path, nullptr, parent, parentProgressRange)
    , reportFailure(reportFailure)
{ }

bool FileDeleteTaskSpecification::doOp()
{
    const bool removed = ::unlink(QFile::encodeName(path).constData()) == 0;
    const int reason = errno;
    if (reportFailure) {
        if (!removed)
            Q_EMIT message(QStringLiteral("Could not delete '%1'").arg(path));
        return removed;
    }
    // A file already gone is what was wanted.
    if (!removed && reason != ENOENT) {
        Q_EMIT message(QStringLiteral("Warning: could not delete '%1': %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(reason))));
        Q_EMIT notDeleted(path);
    }
    return true;
}
