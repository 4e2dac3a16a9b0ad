// Raw PS1 saves come from card images and other tools: the header reader must
// take any bytes and never build more frames than the header block holds.
#include <cstddef>
#include <cstdint>
#include <span>

#include "save/PS1SaveData.h"

namespace {

void Check(const PS1SaveData& data)
{
    if (!data.valid) {
        if (!data.title.empty() || !data.frames.empty()) {
            __builtin_trap();
        }
        return;
    }
    if (data.title.size() > 91 || data.frames.size() > 8) {
        __builtin_trap();
    }
    for (const auto& frame : data.frames) {
        if (frame.size() != PS1SaveData::kFrameBytes) {
            __builtin_trap();
        }
        for (size_t i = 3; i < frame.size(); i += 4) {
            if (frame[i] != 255) {
                __builtin_trap();
            }
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    // Once as a file of exactly these bytes, and once as the head of a file of
    // whole blocks, so that inputs of any length reach the header parser.
    Check(PS1SaveData(bytes, size));
    Check(PS1SaveData(bytes, (size + 8191) / 8192 * 8192));
    return 0;
}
