#pragma once
// Haruhiko Okumura's LZARI (1989) with its original parameters, the
// compression of Action Replay MAX saves: LZ77 over a 4096-byte ring whose
// literals and match lengths are coded arithmetically with an adaptive model,
// and match positions with a fixed one favouring the nearest.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace Lzari {

constexpr int kRingSize = 4096;
constexpr int kLongestMatch = 60;
// Matches of this length or shorter are sent as literals.
constexpr int kThreshold = 2;
// Symbols 0-255 are literal bytes, the rest match lengths 3-60.
constexpr int kCodes = 256 - kThreshold + kLongestMatch;

// The coder's 17-bit window and its quarters.
constexpr uint32_t kQ1 = uint32_t{1} << 15;
constexpr uint32_t kQ2 = 2 * kQ1;
constexpr uint32_t kQ3 = 3 * kQ1;
constexpr uint32_t kQ4 = 4 * kQ1;
constexpr int kCodeBits = 17;

// The adaptive model of literals and match lengths. Its symbols 1..kCodes
// stay ordered by falling frequency, so that the frequent ones are cheap to
// update; each stands for one code (a byte or a match length).
class CodeModel {
public:
    CodeModel();
    // The summed frequency of all symbols.
    uint32_t Total() const { return cumulative[0]; }
    // The summed frequency of the symbols after sym (0 for the last).
    uint32_t After(int sym) const { return cumulative[static_cast<size_t>(sym)]; }
    int SymbolOf(int code) const { return codeToSymbol[static_cast<size_t>(code)]; }
    int CodeOf(int sym) const { return symbolToCode[static_cast<size_t>(sym)]; }
    // The symbol whose share holds x (x < Total()).
    int Find(uint32_t x) const;
    // Counts one more sym, halving every count when the total nears the
    // coder's precision.
    void Update(int sym);

private:
    std::array<uint32_t, kCodes + 1> frequency{};
    std::array<uint32_t, kCodes + 1> cumulative{};
    std::array<int, kCodes + 1> symbolToCode{};
    std::array<int, kCodes> codeToSymbol{};
};

// Exactly length bytes from the bit stream. The decoder reads a little past
// the end of a sound stream (those bits read as 0); false when it needs more
// than that, as a stream cut short does. Garbage decodes to garbage without
// fault: only the container's own checks can tell.
bool Decode(std::span<const uint8_t> stream, size_t length, std::vector<uint8_t>& out);

}  // namespace Lzari
