#pragma once
// The Hamming code the PS2 card keeps in each page's spare area: 3 bytes for
// every 128 data bytes, enough to correct one flipped bit of the 128 and to
// tell a damaged code byte from damaged data.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace Ps2CardEcc {

using Code = std::array<uint8_t, 3>;

// The code of one 128-byte chunk.
Code OfChunk(std::span<const uint8_t, 128> chunk);

// The spare area of a page: the codes of its 128-byte chunks in order, the
// rest zero as the console writes it. spare.size() must be data.size() / 32.
void FillSpare(std::span<const uint8_t> data, std::span<uint8_t> spare);

enum class Verdict {
    Good,
    // One data bit differs from what the code says; correctable.
    DataBit,
    // The code itself took a hit; the data is good.
    CodeBit,
    Uncorrectable,
};
// What the stored code says of a chunk.
Verdict CheckChunk(std::span<const uint8_t, 128> chunk, const Code& stored);

}  // namespace Ps2CardEcc
