// .cbs files come from downloads: whatever the bytes, the reader holds to
// RequireSound. Changed bytes of an encrypted zlib stream rarely unpack, so
// each input is also read with what follows its header taken as the unpacked
// body (packed and encrypted here, its length set in the header), which takes
// it into the walk through the files.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "TradeChecks.h"
#include "save/SaveFileCBS.h"

namespace {

// Where the header keeps the body's offset and its unpacked length.
constexpr size_t kHeaderSize = 0x128;
constexpr size_t kBodyOffsetField = 0x08;
constexpr size_t kLengthField = 0x0C;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SaveFileCBS cbs;
    RequireSound(cbs, cbs.LoadBytes({data, size}, "fuzz.cbs"));
    if (size < kHeaderSize) {
        return 0;
    }
    uLongf packedLength = compressBound(size - kHeaderSize);
    std::vector<uint8_t> file(kHeaderSize + packedLength);
    std::memcpy(file.data(), data, kHeaderSize);
    Require(compress2(file.data() + kHeaderSize, &packedLength, data + kHeaderSize, size - kHeaderSize, 1) == Z_OK);
    file.resize(kHeaderSize + packedLength);
    SaveFileCBS::Cipher({file.data() + kHeaderSize, packedLength});
    const auto length = static_cast<uint32_t>(size - kHeaderSize);
    const auto offset = static_cast<uint32_t>(kHeaderSize);
    std::memcpy(file.data() + kLengthField, &length, sizeof length);
    std::memcpy(file.data() + kBodyOffsetField, &offset, sizeof offset);
    RequireSound(cbs, cbs.LoadBytes(file, "fuzz.cbs"));
    return 0;
}
