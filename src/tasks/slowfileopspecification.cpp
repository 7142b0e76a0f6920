#include "slowfileopspecification.h"

#include "rollbackdata.h"
#include "rollbackdatalist.h"

#include <QFileInfo>
#include <QThread>

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
    // With a second core the copy runs beside the bookkeeping on this thread,
    // which is what limits an installation of many small files; with one,
    // the hop to the pool costs more than a small file's copy.
    static const bool oneCore = QThread::idealThreadCount() < 2;
    return oneCore && QFileInfo(sourcePath).size() <= QUICK_FILE_SIZE;
}
