#include "fuzzscratch.h"
#include "verify/checksigfunc.h"
#include "verify/cryptwrapper.h"

#include <QDir>
#include <QFile>

#include <cstddef>
#include <cstdint>

// A signature file for a product ini, checked against the built-in key.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QString ini = [] {
        crypt_init();
        const QString path = QDir(FuzzScratch::directory()).filePath(QStringLiteral("product.ini"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write("[files]\nclient=00112233445566778899aabbccddeeff::2048\n");
        return path;
    }();
    QFile signature(ini + QStringLiteral(".sig"));
    if (!signature.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 0;
    signature.write(reinterpret_cast<const char*>(data), qint64(size));
    signature.close();
    CheckSigFunc check(ini, FileCheck::detachedSignature());
    // Nobody holds the private key here: no input may pass.
    if (check.run())
        __builtin_trap();
    return 0;
}
