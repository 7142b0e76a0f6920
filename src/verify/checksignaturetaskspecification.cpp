#include "verify/checksignaturetaskspecification.h"

#include "verify/checksigfunc.h"

CheckSignatureTaskSpecification::CheckSignatureTaskSpecification(QString fileName, const FileCheck& check,
                                                                 bool cancelOnFailure, QObject* parent,
                                                                 double parentProgressRange)
    : ASyncTaskSpecification(parent, parentProgressRange)
    , fileName(std::move(fileName))
    , check(check)
    , cancelOnFailure(cancelOnFailure)
{
}

ASyncFunc* CheckSignatureTaskSpecification::createFunction()
{
    return new CheckSigFunc(fileName, check);
}

void CheckSignatureTaskSpecification::runDone(bool pass)
{
    if (state != Running)
        return;
    if (pass) {
        Q_EMIT checkDone(true, this);
        finish();
        return;
    }
    Q_EMIT message(QStringLiteral("Signature check failed for %1").arg(fileName));
    Q_EMIT checkDone(false, this);
    if (cancelOnFailure)
        errorCancel();
    else
        finish();
}
