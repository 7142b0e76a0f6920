#include "app/commandline.h"
#include "serverquery/updatechecker.h"

#include <cstddef>
#include <cstdint>

// A version answer as the update server sends it: the channels' versions
// become the version to install.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray datagram(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto channels = UpdateChecker::parseChannelList(UpdateChecker::answerText(datagram));
    for (const auto& channel : channels) {
        CommandLine commandLine;
        // A version taken from the server is one that can be asked of a mirror.
        if (commandLine.takeOfferedVersion(channel.first, QStringLiteral("%1"))
            && commandLine.typeDesc.version <= 0)
            __builtin_trap();
    }
    return 0;
}
