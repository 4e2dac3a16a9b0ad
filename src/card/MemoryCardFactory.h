#pragma once
#include <memory>
#include <string>

#include "card/MemoryCard.h"

enum MemoryCardKind : int {
    kMemoryCardFtp = 0,
    kMemoryCardPS2Link = 1,
    kMemoryCardUSBMemory = 2,
};

// Makes and connects a backend of the given kind; any other kind gives a
// MemoryCardNull. The address is used by the FTP backend only.
std::shared_ptr<MemoryCard> CreateMemoryCard(MemoryCardOwner* owner, int kind, const std::string& address);
std::shared_ptr<MemoryCard> CreateNullMemoryCard(MemoryCardOwner* owner);
