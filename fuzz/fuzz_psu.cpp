// .psu files come from other tools and from downloads: the reader must take
// any bytes, allocate no more than the file can hold (plus one card's worth
// for a file cut short), and never hand on a name that could leave a folder.
#include <cstddef>
#include <cstdint>
#include <span>
#include <system_error>

#include "save/SaveFilePSU.h"

namespace {

// The longest data a record may get from an input of this size: what is in
// the input, filled up by at most one memory card.
constexpr size_t kCardCapacity = 8 * 1024 * 1024;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SaveFilePSU psu;
    bool loaded = false;
    try {
        loaded = psu.LoadBytes(std::span<const uint8_t>(data, size), "fuzz.psu");
    } catch (const SaveFileError& error) {
        // Only an impossible time abandons a load.
        if (error.error != std::errc::invalid_argument) {
            __builtin_trap();
        }
        return 0;
    }
    if (!loaded) {
        if (!psu.saves.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    if (psu.saves.size() != 1 || !SaveFileBase::IsSafeName(psu.saves.begin()->first)) {
        __builtin_trap();
    }
    const auto& files = psu.saves.begin()->second;
    // Every file took an entry of 512 bytes that began inside the input.
    if (files.size() > size / 512 + 1) {
        __builtin_trap();
    }
    for (const auto& file : files) {
        if (!SaveFileBase::IsSafeName(file->name) || file->name.size() > 448 || file->data.size() > size + kCardCapacity) {
            __builtin_trap();
        }
    }
    return 0;
}
