// The mount table parser on any text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/DriveType.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const std::string path : {"/", "/media/user/STICK/PS2", "/home/user/saves", "/mnt/a b", "relative", ""}) {
        const MountInfo mount = FindMount(text, path);
        if (!mount.mountPoint.empty() && (mount.mountPoint.front() != '/' || mount.device.empty())) {
            __builtin_trap();
        }
    }
    return 0;
}
