#include "card/MemoryCardFactory.h"

#include "card/MemoryCardFtp.h"
#include "card/MemoryCardNull.h"
#include "card/MemoryCardPS2Link.h"
#include "card/MemoryCardUSBMemory.h"

std::shared_ptr<MemoryCard> CreateMemoryCard(MemoryCardOwner* owner, int kind, const std::string& address)
{
    switch (kind) {
    case kMemoryCardUSBMemory:
        return std::make_shared<MemoryCardUSBMemory>(owner);
    case kMemoryCardFtp:
        return std::make_shared<MemoryCardFtp>(owner, address);
    case kMemoryCardPS2Link:
        return std::make_shared<MemoryCardPS2Link>(owner);
    default:
        return CreateNullMemoryCard(owner);
    }
}

std::shared_ptr<MemoryCard> CreateNullMemoryCard(MemoryCardOwner* owner)
{
    return std::make_shared<MemoryCardNull>(owner);
}
