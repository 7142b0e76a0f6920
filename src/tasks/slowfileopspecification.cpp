#include "slowfileopspecification.h"

#include "rollbackdata.h"
#include "rollbackdatalist.h"

#include <QFileInfo>

SlowFileOpSpecification::SlowFileOpSpecification(QString failMessage, RollbackDataList* rollbackList,
    const QString& sourcePath, const QString& targetPath, QObject* parent, double parentProgressRange)
    : ASyncTaskSpecification(parent, parentProgressRange)
    , rollbackList(rollbackList)
    , sourcePath(sourcePath)
    , targetPath(targetPath)
    , failMessage(std::move(failMessage))
{ }

void SlowFileOpSpecification::runDone(bool ok)
{
    if (ok && rollbackList)
        rollbackList->add(RollbackData(RollbackData::CreateFile, targetPath));
    if (!ok)
        Q_EMIT message(failMessage);
    ASyncTaskSpecification::runDone(ok);
}

bool SlowFileOpSpecification::isQuickWork() const
{
    return QFileInfo(sourcePath).size() <= QUICK_FILE_SIZE;
}
