#pragma once
// The RC4 key stream, started from a given permutation rather than from a
// key: the CodeBreaker publishes its permutation, not a key. Applying the same
// stream twice gives the bytes back.
#include <array>
#include <cstdint>
#include <span>

class Rc4 {
public:
    explicit Rc4(const std::array<uint8_t, 256>& permutation) : state(permutation) {}

    // XORs the next bytes of the stream into bytes.
    void Apply(std::span<uint8_t> bytes);

private:
    std::array<uint8_t, 256> state;
    uint8_t i = 0;
    uint8_t j = 0;
};
