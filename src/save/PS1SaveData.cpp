#include "save/PS1SaveData.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "common/FileRead.h"
#include "common/Log.h"

namespace {

// The header at the start of a raw PS1 save's first block.
struct PS1SaveLayout {
    static constexpr size_t kBlockSize = 8192;
    static constexpr size_t kMagicOffset = 0x00;  // "SC", either case per letter
    static constexpr size_t kIconFlagOffset = 0x02;  // low 4 bits: number of icon frames
    static constexpr size_t kTitleOffset = 0x04;
    static constexpr size_t kTitleMaxLength = 91;
    static constexpr size_t kPaletteOffset = 0x60;  // 16 x 16-bit colours
    static constexpr size_t kPaletteColours = 16;
    static constexpr size_t kFramesOffset = 0x80;
    static constexpr size_t kFrameStride = 128;  // 16 x 16 pixels of 4 bits
    static constexpr size_t kReadSize = 1152;
    static constexpr size_t kMaxFrames = (kReadSize - kFramesOffset) / kFrameStride;
};
static_assert(PS1SaveLayout::kTitleOffset + PS1SaveLayout::kTitleMaxLength < PS1SaveLayout::kPaletteOffset);
static_assert(PS1SaveLayout::kPaletteOffset + 2 * PS1SaveLayout::kPaletteColours <= PS1SaveLayout::kFramesOffset);
static_assert(PS1SaveLayout::kFrameStride * 2 == static_cast<size_t>(PS1SaveData::kIconSize * PS1SaveData::kIconSize));
static_assert(PS1SaveLayout::kMaxFrames == 8);
static_assert(PS1SaveLayout::kFramesOffset + PS1SaveLayout::kMaxFrames * PS1SaveLayout::kFrameStride ==
              PS1SaveLayout::kReadSize);

using Texel = std::array<uint8_t, 4>;  // blue, green, red, alpha

// 5 bits to 8 so that full intensity stays full: 31 * 256 / 31 would be 256.
uint8_t ExpandComponent(unsigned component)
{
    return static_cast<uint8_t>(std::min(component * 256u / 31u, 255u));
}

std::array<Texel, PS1SaveLayout::kPaletteColours> ReadPalette(std::span<const uint8_t> bytes)
{
    std::array<Texel, PS1SaveLayout::kPaletteColours> palette{};
    for (size_t i = 0; i < palette.size(); ++i) {
        const size_t at = PS1SaveLayout::kPaletteOffset + 2 * i;
        // Bit 15 (the console's semi-transparency flag) plays no part in the icon.
        const unsigned colour = bytes[at] | (bytes[at + 1] << 8);
        const uint8_t red = ExpandComponent(colour & 0x1F);
        const uint8_t green = ExpandComponent((colour >> 5) & 0x1F);
        const uint8_t blue = ExpandComponent((colour >> 10) & 0x1F);
        palette[i] = {blue, green, red, 255};
    }
    return palette;
}

bool IsMagic(uint8_t first, uint8_t second)
{
    return (first == 'S' || first == 's') && (second == 'C' || second == 'c');
}

}  // namespace

PS1SaveData::PS1SaveData(const std::string& path)
{
    const FileHead head = ReadFileHead(path, PS1SaveLayout::kReadSize);
    if (head.openError) {
        Log("セーブデータファイルが開けませんでした PS1SaveData");
        return;
    }
    Parse(head.bytes, head.length);
}

PS1SaveData::PS1SaveData(std::span<const uint8_t> bytes, uint64_t fileLength) { Parse(bytes, fileLength); }

void PS1SaveData::Parse(std::span<const uint8_t> bytes, uint64_t fileLength)
{
    // An empty file passes here and fails at the read below.
    if (fileLength % PS1SaveLayout::kBlockSize != 0) {
        Log("セーブデータファイルのサイズが違います PS1SaveData");
        return;
    }
    if (bytes.size() < PS1SaveLayout::kReadSize) {
        Log("セーブデータファイルを読み込めませんでした PS1SaveData");
        return;
    }
    bytes = bytes.first(PS1SaveLayout::kReadSize);
    if (!IsMagic(bytes[PS1SaveLayout::kMagicOffset], bytes[PS1SaveLayout::kMagicOffset + 1])) {
        Log("セーブデータファイルのマジックナンバーが違います PS1SaveData");
        return;
    }

    // The title field runs up to the palette; its last byte is kept for the NUL.
    const auto titleField = bytes.subspan(PS1SaveLayout::kTitleOffset, PS1SaveLayout::kTitleMaxLength);
    const auto titleEnd = std::find(titleField.begin(), titleField.end(), uint8_t{0});
    std::string readTitle(titleField.begin(), titleEnd);

    // The low 4 bits can announce up to 15 frames, but the header block holds
    // 8; frames past it would be read from the save's own data, so they are
    // left out rather than shown as noise.
    size_t frameCount = bytes[PS1SaveLayout::kIconFlagOffset] & 0x0Fu;
    if (frameCount > PS1SaveLayout::kMaxFrames) {
        Log("警告 : アイコンのフレーム数が多すぎます PS1SaveData");
        frameCount = PS1SaveLayout::kMaxFrames;
    }

    const auto palette = ReadPalette(bytes);
    std::vector<std::vector<uint8_t>> readFrames;
    readFrames.reserve(frameCount);
    for (size_t k = 0; k < frameCount; ++k) {
        const auto pixels = bytes.subspan(PS1SaveLayout::kFramesOffset + k * PS1SaveLayout::kFrameStride,
                                          PS1SaveLayout::kFrameStride);
        std::vector<uint8_t> image(kFrameBytes);
        for (size_t p = 0; p < kFrameBytes / 4; ++p) {
            // Two pixels per byte, the first in the low 4 bits.
            const unsigned index = (p % 2 == 0) ? (pixels[p / 2] & 0x0Fu) : (pixels[p / 2] >> 4);
            std::memcpy(image.data() + 4 * p, palette[index].data(), 4);
        }
        readFrames.push_back(std::move(image));
    }

    title = std::move(readTitle);
    frames = std::move(readFrames);
    valid = true;
}
