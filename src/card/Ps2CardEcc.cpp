#include "card/Ps2CardEcc.h"

#include <algorithm>
#include <bit>

#include "card/Ps2CardLayout.h"

namespace Ps2CardEcc {

namespace {

uint8_t Parity(unsigned value) { return static_cast<uint8_t>(std::popcount(value) & 1); }

}  // namespace

// Column parity pairs each bit position's three address bits with the XOR of
// the chunk; line parity pairs each byte index's seven address bits with the
// byte's parity. A single flipped data bit then flips exactly one of every
// even/odd pair, which is what CheckChunk looks for.
Code OfChunk(std::span<const uint8_t, 128> chunk)
{
    unsigned column = 0;
    unsigned lineEven = 0;
    unsigned lineOdd = 0;
    for (unsigned i = 0; i < chunk.size(); ++i) {
        column ^= chunk[i];
        if (Parity(chunk[i]) != 0) {
            lineOdd ^= i;
            lineEven ^= ~i & 0x7Fu;
        }
    }
    unsigned columnBits = 0;
    for (unsigned k = 0; k < 3; ++k) {
        unsigned evenMask = 0;
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (((bit >> k) & 1u) == 0) {
                evenMask |= 1u << bit;
            }
        }
        columnBits |= static_cast<unsigned>(Parity(column & evenMask)) << k;
        columnBits |= static_cast<unsigned>(Parity(column & ~evenMask & 0xFFu)) << (k + 4);
    }
    return {static_cast<uint8_t>(columnBits ^ 0x77u), static_cast<uint8_t>(lineEven ^ 0x7Fu),
            static_cast<uint8_t>(lineOdd ^ 0x7Fu)};
}

void FillSpare(std::span<const uint8_t> data, std::span<uint8_t> spare)
{
    std::fill(spare.begin(), spare.end(), uint8_t{0});
    for (size_t chunk = 0; chunk * Ps2Card::kEccChunk < data.size(); ++chunk) {
        const Code code = OfChunk(data.subspan(chunk * Ps2Card::kEccChunk).first<Ps2Card::kEccChunk>());
        std::copy(code.begin(), code.end(), spare.begin() + static_cast<ptrdiff_t>(chunk * code.size()));
    }
}

Verdict CheckChunk(std::span<const uint8_t, 128> chunk, const Code& stored)
{
    const Code computed = OfChunk(chunk);
    const unsigned s0 = static_cast<unsigned>(stored[0] ^ computed[0]);
    const unsigned s1 = static_cast<unsigned>(stored[1] ^ computed[1]);
    const unsigned s2 = static_cast<unsigned>(stored[2] ^ computed[2]);
    if ((s0 | s1 | s2) == 0) {
        return Verdict::Good;
    }
    if ((s1 ^ s2) == 0x7Fu && (((s0 & 0x0Fu) ^ (s0 >> 4)) == 0x07u)) {
        return Verdict::DataBit;
    }
    if (std::popcount(s0) + std::popcount(s1) + std::popcount(s2) == 1) {
        return Verdict::CodeBit;
    }
    return Verdict::Uncorrectable;
}

}  // namespace Ps2CardEcc
