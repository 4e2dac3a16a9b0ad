#include "save/Lzari.h"

#include <algorithm>
#include <functional>

namespace Lzari {
namespace {

// A sound stream makes the decoder look at most 17 bits past its end.
constexpr uint64_t kLookAheadBytes = 4;

// The ring starts as spaces, but for the last kLongestMatch bytes (zeros).
constexpr int kFirstWrite = kRingSize - kLongestMatch;

// The fixed model of match positions: the summed weights of the positions
// after each, falling from position 0 (the byte just written) on.
constexpr auto kPositionsAfter = [] {
    std::array<uint32_t, kRingSize + 1> after{};
    for (int i = kRingSize; i >= 1; --i) {
        after[static_cast<size_t>(i - 1)] = after[static_cast<size_t>(i)] + static_cast<uint32_t>(10000 / (i + 200));
    }
    return after;
}();
static_assert(kPositionsAfter[0] < kQ1, "products of the coder must fit 32 bits");

// The first index from `from` on whose summed weight is at most x; the
// tables fall, and their last entry is 0.
template <size_t Size>
int FirstAtMost(const std::array<uint32_t, Size>& after, size_t from, uint32_t x)
{
    const auto found = std::lower_bound(after.begin() + static_cast<ptrdiff_t>(from), after.end(), x, std::greater<>());
    return static_cast<int>(found - after.begin());
}

// Most significant bit first; bits past the end read as 0.
class BitReader {
public:
    explicit BitReader(std::span<const uint8_t> stream) : bytes(stream) {}

    uint32_t Bit()
    {
        const uint64_t byte = position / 8;
        const uint32_t bit = byte < bytes.size() ? (bytes[static_cast<size_t>(byte)] >> (7 - position % 8)) & 1u : 0u;
        ++position;
        return bit;
    }
    bool Overrun() const { return position > (bytes.size() + kLookAheadBytes) * 8; }

private:
    std::span<const uint8_t> bytes;
    uint64_t position = 0;
};

class Decoder {
public:
    explicit Decoder(std::span<const uint8_t> stream) : bits(stream)
    {
        for (int i = 0; i < kCodeBits; ++i) {
            value = 2 * value + bits.Bit();
        }
    }

    bool Overrun() const { return bits.Overrun(); }

    int Code()
    {
        const int sym = models.Find(Scaled(models.Total()));
        Narrow(models.After(sym - 1), models.After(sym), models.Total());
        // Read before the update, which may give the symbol another code.
        const int code = models.CodeOf(sym);
        models.Update(sym);
        return code;
    }

    // How far back, less one, the match starts.
    int Position()
    {
        const int position = FirstAtMost(kPositionsAfter, 1, Scaled(kPositionsAfter[0])) - 1;
        Narrow(kPositionsAfter[static_cast<size_t>(position)], kPositionsAfter[static_cast<size_t>(position) + 1],
               kPositionsAfter[0]);
        return position;
    }

private:
    // Where value lies inside [low, high), on a scale of total. Every product
    // stays below 2^32 (a range of at most 2^17 times a total below 2^15).
    uint32_t Scaled(uint32_t total) const { return ((value - low + 1) * total - 1) / (high - low); }

    // Keeps the share [after, upTo) of total, then widens the interval again.
    void Narrow(uint32_t upTo, uint32_t after, uint32_t total)
    {
        const uint32_t range = high - low;
        high = low + range * upTo / total;
        low += range * after / total;
        for (;;) {
            if (low >= kQ2) {
                value -= kQ2;
                low -= kQ2;
                high -= kQ2;
            } else if (low >= kQ1 && high <= kQ3) {
                value -= kQ1;
                low -= kQ1;
                high -= kQ1;
            } else if (high > kQ2) {
                break;
            }
            low += low;
            high += high;
            value = 2 * value + bits.Bit();
        }
    }

    BitReader bits;
    CodeModel models;
    uint32_t low = 0;
    uint32_t high = kQ4;
    uint32_t value = 0;
};

}  // namespace

CodeModel::CodeModel()
{
    for (int code = 0; code < kCodes; ++code) {
        codeToSymbol[static_cast<size_t>(code)] = code + 1;
        symbolToCode[static_cast<size_t>(code) + 1] = code;
    }
    for (int sym = kCodes; sym >= 1; --sym) {
        frequency[static_cast<size_t>(sym)] = 1;
        cumulative[static_cast<size_t>(sym) - 1] = cumulative[static_cast<size_t>(sym)] + 1;
    }
}

int CodeModel::Find(uint32_t x) const { return FirstAtMost(cumulative, 1, x); }

void CodeModel::Update(int sym)
{
    if (cumulative[0] >= kQ1 - 1) {
        uint32_t sum = 0;
        for (size_t i = kCodes; i > 0; --i) {
            cumulative[i] = sum;
            frequency[i] = (frequency[i] + 1) >> 1;
            sum += frequency[i];
        }
        cumulative[0] = sum;
    }
    // The first of the symbols as frequent as sym takes its place, so the
    // order by frequency holds after the count; frequency[0] = 0 stops the walk.
    auto first = static_cast<size_t>(sym);
    while (frequency[first] == frequency[first - 1]) {
        --first;
    }
    const auto moved = static_cast<size_t>(sym);
    if (first < moved) {
        const int firstCode = symbolToCode[first];
        const int movedCode = symbolToCode[moved];
        symbolToCode[first] = movedCode;
        symbolToCode[moved] = firstCode;
        codeToSymbol[static_cast<size_t>(firstCode)] = sym;
        codeToSymbol[static_cast<size_t>(movedCode)] = static_cast<int>(first);
    }
    ++frequency[first];
    for (size_t i = 0; i < first; ++i) {
        ++cumulative[i];
    }
}

bool Decode(std::span<const uint8_t> stream, size_t length, std::vector<uint8_t>& out)
{
    out.clear();
    out.reserve(length);
    std::array<uint8_t, kRingSize> ring{};
    std::fill_n(ring.begin(), kFirstWrite, uint8_t{' '});
    size_t r = kFirstWrite;
    const auto put = [&](uint8_t byte) {
        out.push_back(byte);
        ring[r] = byte;
        r = (r + 1) % kRingSize;
    };
    Decoder decoder(stream);
    while (out.size() < length) {
        const int code = decoder.Code();
        if (code < 256) {
            put(static_cast<uint8_t>(code));
        } else {
            const size_t start = (r + kRingSize - static_cast<size_t>(decoder.Position()) - 1) % kRingSize;
            const auto matched = static_cast<size_t>(code - 256 + kThreshold + 1);
            for (size_t k = 0; k < matched && out.size() < length; ++k) {
                put(ring[(start + k) % kRingSize]);
            }
        }
        if (decoder.Overrun()) {
            out.clear();
            return false;
        }
    }
    return true;
}

}  // namespace Lzari
