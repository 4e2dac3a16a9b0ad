// icon.sys files come from saves made by any game or homebrew tool: the
// reader must take any bytes and keep every field inside its own width.
#include <cstddef>
#include <cstdint>
#include <span>

#include "save/IconSys.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const IconSys iconSys(std::span<const uint8_t>(data, size), "fuzz");
    if (!iconSys.valid) {
        if (!iconSys.title.empty() || !iconSys.iconFileNames[0].empty()) {
            __builtin_trap();
        }
        return 0;
    }
    // 68 title bytes plus the one space of the line break; 64 per icon name.
    if (iconSys.title.size() > 69) {
        __builtin_trap();
    }
    for (const auto& name : iconSys.iconFileNames) {
        if (name.size() > 64) {
            __builtin_trap();
        }
    }
    return 0;
}
