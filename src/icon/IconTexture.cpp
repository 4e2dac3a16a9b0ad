#include "icon/IconTexture.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <new>

namespace {

// The grey a PS2 icon without texture data shows (texel 0x4210).
constexpr std::array<uint8_t, 4> kGreyTexel = {132, 132, 132, 255};
constexpr uint64_t kTexelBytes = 4;
// Icons are 128 x 128 at most; a size beyond this is a caller's mistake, not a picture.
constexpr uint64_t kMaxTextureBytes = uint64_t{4096} * 4096 * kTexelBytes;

}  // namespace

IconTexture::IconTexture(SoftwareDevice* textureDevice, const std::vector<uint8_t>& texels, uint32_t textureWidth,
                         uint32_t textureHeight)
    : device(textureDevice), width(textureWidth), height(textureHeight)
{
    const uint64_t needed = uint64_t{width} * height * kTexelBytes;
    if (device == nullptr || needed == 0 || needed > kMaxTextureBytes) {
        return;
    }
    if (texels.size() >= needed) {
        texture = device->CreateTexture(width, height, texels.data());
        return;
    }
    // A compressed PS2 texture can decode to fewer texels than the texture
    // holds: the whole texels there are used, the rest is grey, and nothing
    // is read from beyond the vector.
    try {
        std::vector<uint8_t> whole(static_cast<size_t>(needed));
        const size_t kept = texels.size() / kTexelBytes * kTexelBytes;
        std::copy(texels.begin(), texels.begin() + static_cast<ptrdiff_t>(kept), whole.begin());
        for (size_t at = kept; at < whole.size(); at += kTexelBytes) {
            std::copy(kGreyTexel.begin(), kGreyTexel.end(), whole.begin() + static_cast<ptrdiff_t>(at));
        }
        texture = device->CreateTexture(width, height, whole.data());
    } catch (const std::bad_alloc&) {
        // Left without a texture: the icon is drawn untextured.
    }
}
