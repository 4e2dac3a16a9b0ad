// .max files come from downloads: whatever the bytes, the reader holds to
// RequireSound. Most inputs stop at the checksum, so each is also read with
// its checksum made to match, which takes it into the LZARI stream and the
// walk through the unpacked files.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "TradeChecks.h"
#include "save/SaveFileMAX.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<uint8_t> bytes(data, data + size);
    SaveFileMAX max;
    RequireSound(max, max.LoadBytes(bytes, "fuzz.max"));
    const uint32_t checksum = SaveFileMAX::Checksum(bytes);
    if (bytes.size() >= SaveFileMAX::kChecksumOffset + sizeof checksum) {
        std::memcpy(bytes.data() + SaveFileMAX::kChecksumOffset, &checksum, sizeof checksum);
        RequireSound(max, max.LoadBytes(bytes, "fuzz.max"));
    }
    return 0;
}
