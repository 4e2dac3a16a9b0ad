// PS1 card images come from many tools, some with headers of their own: the
// reader must survive any bytes, refuse what is no card image, end every
// chain, and give every block to at most one save.
#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzRequire.h"

#include "save/FileKind.h"
#include "save/PS1SaveFileMcr.h"
#include "save/SaveFileBase.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    PS1SaveFileMcr card;
    const std::span<const uint8_t> bytes(data, size);
    // Only what the front door takes for a card image loads; anything else gives no saves at all.
    const bool loaded = card.LoadImage(bytes, "/fuzz/card.mcr");
    Require(loaded == PS1CardImageOffset(bytes, size).has_value());
    Require(loaded || card.items.empty());
    // Every block read adds one item holding the save up to that block.
    Require(card.items.size() <= 15);
    for (const auto& item : card.items) {
        Require(SaveFileBase::IsSafeName(item.name) && item.name.size() <= 21);
        Require(!item.data.empty() && item.data.size() % 8192 == 0 && item.data.size() <= 15 * 8192);
    }
    return 0;
}
