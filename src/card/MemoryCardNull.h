#pragma once
#include "card/MemoryCard.h"

// The backend while nothing is connected: every operation fails silently.
class MemoryCardNull : public MemoryCard {
public:
    using MemoryCard::MemoryCard;
    bool IsConnected() override { return false; }
    bool SetCurrentDirectory(const std::string&) override { return false; }
    std::vector<FtpClient::FILE_DATA> List() override
    {
        lastListFailed = true;
        return {};
    }
    bool Remove(const std::string&) override { return false; }
    bool Put(const std::string&) override { return false; }
    bool Get(const std::string&) override { return false; }
    bool RemoveDirectory(const std::string&) override { return false; }
    bool MakeDirectory(const std::string&) override { return false; }
};
