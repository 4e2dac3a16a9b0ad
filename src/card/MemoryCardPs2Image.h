#pragma once
#include <memory>

#include "card/MemoryCardImage.h"
#include "card/Ps2CardImage.h"

// A PS2 memory-card image file (8 MB and the larger cards of emulators, with
// or without the spare area) as a card: its root directories are the saves.
class MemoryCardPs2Image : public MemoryCardImage {
public:
    // path: absolute; connects at once.
    MemoryCardPs2Image(MemoryCardOwner* owner, const std::string& path);

    bool SetCurrentDirectory(const std::string& directory) override;
    std::vector<FtpClient::FILE_DATA> List() override;
    bool Remove(const std::string& name) override;
    bool Put(const std::string& name) override;
    bool Get(const std::string& name) override;
    bool RemoveDirectory(const std::string& name) override;
    bool MakeDirectory(const std::string& name) override;

private:
    bool Parse(std::vector<uint8_t> bytes, std::string& why) override;

    std::unique_ptr<Ps2CardImage> card;
};
