// .sps and .xps files come from downloads: whatever the bytes, the reader
// holds to RequireSound. Most inputs stop at the checksum, so each is also
// read with its checksum made to match, which takes it into the entries.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "TradeChecks.h"
#include "save/SaveFileSPS.h"

namespace {

// The mark, then three counted texts, then the entries' length.
constexpr size_t kTextsOffset = 0x15;
constexpr int kTexts = 3;

uint32_t WordAt(const std::vector<uint8_t>& bytes, size_t at)
{
    uint32_t word = 0;
    std::memcpy(&word, bytes.data() + at, sizeof word);
    return word;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    SaveFileSPS sps;
    RequireSound(sps, sps.LoadBytes(bytes, "fuzz.sps"));
    uint64_t at = kTextsOffset;
    for (int text = 0; text < kTexts && at + 4 <= size; ++text) {
        at += 4 + uint64_t{WordAt(bytes, static_cast<size_t>(at))};
    }
    if (at + 4 > size || size - at - 4 < uint64_t{WordAt(bytes, static_cast<size_t>(at))} + 4) {
        return 0;
    }
    const size_t payload = static_cast<size_t>(at) + 4;
    const uint32_t length = WordAt(bytes, static_cast<size_t>(at));
    const uint32_t checksum = SaveFileSPS::Checksum({bytes.data() + payload, length});
    std::memcpy(bytes.data() + payload + length, &checksum, sizeof checksum);
    RequireSound(sps, sps.LoadBytes(bytes, "fuzz.sps"));
    return 0;
}
