#include "verify/checksignaturetaskspecification.h"

#include "verify/checksigfunc.h"

#include <QFileInfo>

CheckSignatureTaskSpecification::CheckSignatureTaskSpecification(QString fileName, const FileCheck& check,
    bool cancelOnFailure, QObject* parent, double parentProgressRange)
    : ASyncTaskSpecification(parent, parentProgressRange)
    , fileName(std::move(fileName))
    , check(check)
    , cancelOnFailure(cancelOnFailure)
{ }

void CheckSignatureTaskSpecification::execute()
{
    const QByteArray digest
        = knownDigest && check.kind() == FileCheck::Kind::ContentDigest ? knownDigest() : QByteArray();
    if (digest.isEmpty()) {
        ASyncTaskSpecification::execute();
        return;
    }
    state = Running;
    runDone(check.matches(digest));
}

ASyncFunc* CheckSignatureTaskSpecification::createFunction()
{
    return new CheckSigFunc(fileName, check);
}

bool CheckSignatureTaskSpecification::isQuickWork() const
{
    // A signature check imports the key and does RSA arithmetic: never quick.
    return check.kind() == FileCheck::Kind::ContentDigest && QFileInfo(fileName).size() <= QUICK_FILE_SIZE;
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
