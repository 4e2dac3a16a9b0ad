#include "save/Rc4.h"

#include <utility>

void Rc4::Apply(std::span<uint8_t> bytes)
{
    for (uint8_t& byte : bytes) {
        ++i;
        j = static_cast<uint8_t>(j + state[i]);
        std::swap(state[i], state[j]);
        byte ^= state[static_cast<uint8_t>(state[i] + state[j])];
    }
}
