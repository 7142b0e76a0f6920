#ifndef CHECKSIGFUNC_H
#define CHECKSIGFUNC_H

#include "tasks/asyncfunc.h"
#include "verify/filecheck.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QString>

// Verifies one file on a worker thread: against an expected MD5 sum, or
// against its detached signature "<file>.sig" and the built-in public key.
class CheckSigFunc : public ASyncFunc
{
    Q_OBJECT

public:
    CheckSigFunc(const QString& fileName, const FileCheck& check);

    // Public so that other worker bodies can run a check synchronously.
    bool run() override;

    bool readFile(const QString& path, QByteArray& data);
    bool checkMD5();
    bool checkRSA();
    // The MD5 sum (raw bytes) the last sum check computed, matching or not;
    // empty when the file could not be read.
    QByteArray computedMd5() const { return md5; }

private:
    // Digest of the whole file, read in chunks; reports why a file could not be read.
    bool hashFile(const QString& path, QCryptographicHash::Algorithm algorithm, QByteArray& digest);

    QString fileName;
    FileCheck check;
    QByteArray md5;
};

#endif
