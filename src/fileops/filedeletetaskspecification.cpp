#include "filedeletetaskspecification.h"

#include <QFile>

FileDeleteTaskSpecification::FileDeleteTaskSpecification(
    bool reportFailure, const QString& path, QObject* parent, double parentProgressRange)
    : FastFileOpTaskSpecification(path, nullptr, parent, parentProgressRange)
    , reportFailure(reportFailure)
{ }

bool FileDeleteTaskSpecification::doOp()
{
    const bool removed = QFile::remove(path);
    if (!reportFailure)
        return true;
    if (!removed)
        Q_EMIT message(QStringLiteral("Could not delete '%1'").arg(path));
    return removed;
}
