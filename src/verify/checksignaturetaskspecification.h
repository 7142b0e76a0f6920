#ifndef CHECKSIGNATURETASKSPECIFICATION_H
#define CHECKSIGNATURETASKSPECIFICATION_H

#include "tasks/asynctaskspecification.h"
#include "verify/filecheck.h"

#include <QByteArray>
#include <QString>

#include <functional>

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

    // For an MD5 check: where the file's sum is already known (taken as it
    // was written). The file is read only when the source has no sum.
    void useKnownDigest(std::function<QByteArray()> source) { knownDigest = std::move(source); }

public Q_SLOTS:
    void execute() override;
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
    std::function<QByteArray()> knownDigest;
};

#endif
