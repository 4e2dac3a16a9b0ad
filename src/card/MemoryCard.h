#pragma once
// One interface over every way of reaching a memory card. The card is a root
// holding one level of save directories; every file operation works in the
// backend's current directory, and Put/Get exchange the file of the same name
// in the process's current working directory on the PC.
#include <cstdint>
#include <string>
#include <vector>

#include "card/FtpClient.h"

class MemoryCardOwner;

class MemoryCard {
public:
    explicit MemoryCard(MemoryCardOwner* cardOwner) : owner(cardOwner) {}
    MemoryCard(const MemoryCard&) = delete;
    MemoryCard& operator=(const MemoryCard&) = delete;
    // Disconnects.
    virtual ~MemoryCard() = default;

    virtual bool IsConnected() = 0;
    // Empty name: the card's root. On false the current directory is unchanged.
    virtual bool SetCurrentDirectory(const std::string& directory) = 0;
    virtual std::vector<FtpClient::FILE_DATA> List() = 0;
    virtual bool Remove(const std::string& name) = 0;
    virtual bool Put(const std::string& name) = 0;
    virtual bool Get(const std::string& name) = 0;
    // Relative to the card's root; callers enter the root first.
    virtual bool RemoveDirectory(const std::string& name) = 0;
    virtual bool MakeDirectory(const std::string& name) = 0;

    MemoryCardOwner* owner;
    // Bit i: a card was found in slot i when connecting. 0 while not connected.
    uint32_t slotMask = 0;
    // Set by every List(): true when the directory could not be read. An
    // empty list alone cannot tell an empty card from one that did not answer.
    bool lastListFailed = false;
};
