// PS1 card images come from many tools, some with headers of their own: the
// reader must take any bytes, end every chain, and give every block to at most
// one save.
#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzRequire.h"

#include "save/PS1SaveFileMcr.h"
#include "save/SaveFileBase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PS1SaveFileMcr card;
    Require(card.LoadImage(std::span<const uint8_t>(data, size), "/fuzz/card.mcr"));
    // Every block read adds one item holding the save up to that block.
    Require(card.items.size() <= 15);
    for (const auto& item : card.items) {
        Require(SaveFileBase::IsSafeName(item.name) && item.name.size() <= 21);
        Require(!item.data.empty() && item.data.size() % 8192 == 0 && item.data.size() <= 15 * 8192);
    }
    return 0;
}
