#include "manifest/channelrecord.h"

#include <cstddef>
#include <cstdint>

// A channel record comes from any mirror. Whatever the reader takes it must
// write back byte for byte: one spelling per record, so no second text can
// carry the signatures of the first.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    ChannelRecord record;
    QByteArray bodySha256;
    QString error;
    if (!ChannelRecord::parse(input, &record, &bodySha256, &error))
        return 0;
    if (record.text() != input || bodySha256.size() != 32 || record.expires < record.made)
        __builtin_trap();
    return 0;
}
