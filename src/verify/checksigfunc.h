#ifndef CHECKSIGFUNC_H
#define CHECKSIGFUNC_H

#include "tasks/asyncfunc.h"
#include "verify/filecheck.h"

#include <QByteArray>
#include <QString>

// Verifies one file on a worker thread: against an expected digest, or
// against its detached signature "<file>.sig" and the built-in public key.
class CheckSigFunc : public ASyncFunc
{
    Q_OBJECT

public:
    CheckSigFunc(const QString& fileName, const FileCheck& check);

    // Public so that other worker bodies can run a check synchronously.
    bool run() override;

    bool readFile(const QString& path, QByteArray& data);
    // The digest check, of the expected sum's algorithm.
    bool checkMD5();
    bool checkRSA();

private:
    enum class HashKind { Content, Sha1 };
    // Digest of the whole file, read in chunks; reports why a file could not be read.
    bool hashFile(const QString& path, HashKind kind, QByteArray& digest);

    QString fileName;
    FileCheck check;
};

#endif
