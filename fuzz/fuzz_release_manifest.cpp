#include "fuzzscratch.h"
#include "manifest/productiniline.h"
#include "manifest/releasemanifest.h"

#include <QBuffer>
#include <QFile>

#include <cstddef>
#include <cstdint>

// A release manifest as a mirror serves it, read from a file as the updater
// reads it.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString path = FuzzScratch::write(input, QStringLiteral(".manifest"));
    ReleaseManifest::Reader reader(path);
    if (reader.open()) {
        // What is accepted is written back byte for byte: the format has one
        // spelling, so no second text can pass for the signed one.
        QBuffer again;
        again.open(QIODevice::WriteOnly);
        ReleaseManifest::Writer writer(&again, reader.header());
        ReleaseManifest::File file;
        while (reader.nextFile(&file)) {
            if (!ProductIniLine::isSafeRelativePath(file.key) || file.section.contains(QLatin1Char('/'))
                || file.size < 0 || file.unpackedSize < 0)
                __builtin_trap();
            writer.addFile(file);
        }
        if (!reader.failed()) {
            const QByteArray body = writer.finish();
            for (const ReleaseManifest::Signature& signature : reader.signatures())
                writer.writeSignature(signature);
            if (body != reader.bodySha256() || reader.signatures().size() > ReleaseManifest::MAX_SIGNATURES
                || !writer.ok() || again.data() != input)
                __builtin_trap();
        }
    }
    // Either a reason or a body digest, never both or neither.
    if (reader.failed() == (reader.bodySha256().size() == 32)
        || reader.failed() == reader.errorString().isEmpty())
        __builtin_trap();
    QFile::remove(path);
    return 0;
}
