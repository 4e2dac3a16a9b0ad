// .psu files come from other tools and from downloads: the reader must take
// any bytes, hold no more than the input (a file cut short loads nothing, it
// is never filled up), and never hand on a name that could leave a folder.
#include <cstddef>
#include <cstdint>
#include <span>
#include <system_error>

#include "FuzzRequire.h"
#include "save/SaveFilePSU.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SaveFilePSU psu;
    bool loaded = false;
    try {
        loaded = psu.LoadBytes(std::span<const uint8_t>(data, size), "fuzz.psu");
    } catch (const SaveFileError& error) {
        // Only an impossible time abandons a load.
        Require(error.error == std::errc::invalid_argument);
        return 0;
    }
    if (!loaded) {
        Require(psu.saves.empty());
        return 0;
    }
    Require(psu.saves.size() == 1 && SaveFileBase::IsSafeName(psu.saves.begin()->first));
    const auto& files = psu.saves.begin()->second;
    // Every file and every name left out took an entry of 512 bytes inside the input.
    Require((files.size() + psu.skipped) * 512 <= size);
    size_t held = 0;
    for (const auto& file : files) {
        Require(SaveFileBase::IsSafeName(file->name) && file->name.size() <= 448);
        held += file->data.size();
    }
    Require(held <= size);
    return 0;
}
