#pragma once
// The PS1 memory card as it lies in a 128 KiB image: a header frame, one
// 128-byte directory frame per data block, the broken-sector list, then the
// fifteen 8 KiB blocks. Every reader and writer of such images takes it from here.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace PS1Card {

// The frames are copied in and out as they lie in the image.
static_assert(std::endian::native == std::endian::little);

#pragma pack(push, 1)
// One per block, describing the save the block belongs to.
struct DirectoryFrame {
    uint8_t state;
    uint8_t reserved1[3];
    uint32_t size;  // the save's size in bytes; meaningful in its first frame only
    int16_t next;   // index of the save's next block; -1 on its last block
    char name[21];  // NUL-terminated when shorter than the field
    uint8_t reserved2[96];
    uint8_t checksum;  // exclusive-or of every byte before it
};
#pragma pack(pop)
static_assert(sizeof(DirectoryFrame) == 128);
static_assert(offsetof(DirectoryFrame, next) == 0x08);
static_assert(offsetof(DirectoryFrame, name) == 0x0A);
static_assert(offsetof(DirectoryFrame, checksum) == 0x7F);

constexpr size_t kFrameSize = sizeof(DirectoryFrame);
constexpr size_t kDirectoryOffset = 0x80;
constexpr int kBlockCount = 15;
constexpr size_t kBlocksOffset = 0x2000;
constexpr size_t kBlockSize = 8192;
constexpr size_t kImageSize = 131072;
constexpr size_t kMaxNameLength = sizeof(DirectoryFrame::name) - 1;
// Frames 16-35 list broken sectors (a u32 sector number, block x 64 + frame,
// so the sector starts at number x kFrameSize; 0xFFFFFFFF for none); frame 36+N holds the data of the sector listed in
// frame 16+N. Frame 63 repeats the header frame.
constexpr size_t kBrokenListOffset = 0x800;
constexpr int kBrokenListFrames = 20;
constexpr size_t kReplacementOffset = 0x1200;
constexpr size_t kWriteTestOffset = 0x1F80;
static_assert(kDirectoryOffset == kFrameSize);
static_assert(kDirectoryOffset + kBlockCount * kFrameSize == kBrokenListOffset);
static_assert(kBlocksOffset + kBlockCount * kBlockSize == kImageSize);
static_assert(kBrokenListOffset + kBrokenListFrames * kFrameSize == kReplacementOffset);

// The image's header frame opens with it.
constexpr std::string_view kCardMark = "MC";

enum FrameState : uint8_t {
    kFirstBlock = 0x51,
    kMiddleBlock = 0x52,
    kLastBlock = 0x53,
    kFreeBlock = 0xA0,
    // A deleted save keeps its chain and name under these until its blocks are reused.
    kDeletedFirstBlock = 0xA1,
    kDeletedMiddleBlock = 0xA2,
    kDeletedLastBlock = 0xA3,
};
// Deleting flips a live state to its deleted one (0x51 -> 0xA1, ...).
constexpr uint8_t kDeletedFlip = kDeletedFirstBlock ^ kFirstBlock;
static_assert((kMiddleBlock ^ kDeletedFlip) == kDeletedMiddleBlock && (kLastBlock ^ kDeletedFlip) == kDeletedLastBlock);

inline uint8_t Checksum(const uint8_t* frame)
{
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < kFrameSize; ++i) {
        sum ^= frame[i];
    }
    return sum;
}

inline DirectoryFrame MakeFrame(uint8_t state, uint32_t size, int16_t next, std::string_view name)
{
    DirectoryFrame frame{};
    frame.state = state;
    frame.size = size;
    frame.next = next;
    // An empty view may hold no pointer at all: copy only what is there.
    if (!name.empty()) {
        std::copy_n(name.begin(), std::min(name.size(), kMaxNameLength), frame.name);
    }
    frame.checksum = Checksum(reinterpret_cast<const uint8_t*>(&frame));
    return frame;
}

}  // namespace PS1Card
