#ifndef CHECKSIGNATURETASKSPECIFICATION_H
#define CHECKSIGNATURETASKSPECIFICATION_H

#include "tasks/asynctaskspecification.h"
#include "verify/filecheck.h"

#include <QString>

// Verifies a downloaded file on the thread pool, by MD5 sum or by its
// detached signature. checkDone tells the outcome
// before the task ends; with cancelOnFailure clear a failed check still
// finishes the task, so that the caller decides what a failure means.
class CheckSignatureTaskSpecification : public ASyncTaskSpecification
{
    Q_OBJECT

public:
    CheckSignatureTaskSpecification(QString fileName, const FileCheck& check, bool cancelOnFailure,
        QObject* parent, double parentProgressRange);

public Q_SLOTS:
    ASyncFunc* createFunction() override;
    void runDone(bool pass) override;

Q_SIGNALS:
    void checkDone(bool pass, CheckSignatureTaskSpecification* task);

protected:
    bool isQuickWork() const override;

private:
    QString fileName;
    FileCheck check;
    bool cancelOnFailure;
};

#endif
