#include "update/verifieddownloadtaskspecification.h"

#include "verify/checksignaturetaskspecification.h"

VerifiedDownloadTaskSpecification::VerifiedDownloadTaskSpecification(
    QObject* parent, double parentProgressRange)
    : ComposedTaskSpecification(1, parentProgressRange, parent)
{ }

void VerifiedDownloadTaskSpecification::startRound()
{
    addRound();
    state = Running;
    executeSubTasks();
}

CheckSignatureTaskSpecification* VerifiedDownloadTaskSpecification::addCheck(
    const QString& fileName, const FileCheck& check, double share)
{
    // A failed check still finishes its task: onCheckDone decides what it means.
    auto* task = new CheckSignatureTaskSpecification(fileName, check, false, this, share);
    connect(task, &CheckSignatureTaskSpecification::checkDone, this,
        &VerifiedDownloadTaskSpecification::onCheckDone);
    addSubTask(task);
    return task;
}

void VerifiedDownloadTaskSpecification::onCheckDone(bool pass, CheckSignatureTaskSpecification* check)
{
    Q_UNUSED(check);
    if (pass && roundAccepted())
        return;
    const TaskState next = roundFailed();
    if (next != Running) {
        endRun(next);
        return;
    }
    // The check is still inside its own report; discarded, its end is not
    // taken for the end of the new round.
    clearSubTasks();
    TaskSpecification::reset();
    startRound();
}
