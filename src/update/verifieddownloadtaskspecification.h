#ifndef VERIFIEDDOWNLOADTASKSPECIFICATION_H
#define VERIFIEDDOWNLOADTASKSPECIFICATION_H

#include "tasks/composedtaskspecification.h"
#include "verify/filecheck.h"

class CheckSignatureTaskSpecification;

// Downloads, verifies what arrived and, when the check fails, starts over
// with fresh subtasks until the subclass ends the run: the one loop of the
// product ini download and the file download. Subtasks run one at a time.
class VerifiedDownloadTaskSpecification : public ComposedTaskSpecification
{
    Q_OBJECT

public:
    VerifiedDownloadTaskSpecification(QObject* parent, double parentProgressRange);

protected:
    // Builds and starts one round: addRound(), then the subtasks in order.
    void startRound();
    // Adds the downloads of a round and, last, its check through addCheck().
    virtual void addRound() = 0;
    CheckSignatureTaskSpecification* addCheck(const QString& fileName, const FileCheck& check, double share);
    // Whether a round whose check passed is accepted; a refusal counts as a
    // failed check.
    virtual bool roundAccepted() { return true; }
    // Reports a failed round and says what follows: Running for another
    // round, or the state in which the run ends.
    virtual TaskState roundFailed() = 0;

private Q_SLOTS:
    void onCheckDone(bool pass, CheckSignatureTaskSpecification* check);
};

#endif
