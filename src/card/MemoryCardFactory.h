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
// MemoryCardNull. The address is used by the FTP backend only. The USB kind
// reads the window's USB folder field: a folder is a folder card, a regular
// file is a card image (CreateImageMemoryCard).
std::shared_ptr<MemoryCard> CreateMemoryCard(MemoryCardOwner* owner, int kind, const std::string& address);
// The backend of a PS2 or PS1 card image file, its kind told by content; an
// unconnected MemoryCardNull (logged) for a file that is neither.
std::shared_ptr<MemoryCard> CreateImageMemoryCard(MemoryCardOwner* owner, const std::string& path);
std::shared_ptr<MemoryCard> CreateNullMemoryCard(MemoryCardOwner* owner);
