#include "manifest/productiniline.h"

#include <cstddef>
#include <cstdint>

// A delete key that may be the release's record of its type and version.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString key = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    ProductIniLine::Binding binding;
    if (!ProductIniLine::parseBindingKey(key, &binding))
        return 0;
    // One record has one spelling: anything else could pass for another release's.
    if (ProductIniLine::bindingKey(binding) != key || binding.version <= 0
        || !ProductIniLine::isReservedPath(key))
        __builtin_trap();
    return 0;
}
