#pragma once
#include <memory>
#include <set>

#include "card/MemoryCardImage.h"
#include "card/Ps1CardImage.h"

// A PS1 memory-card image file as a card, shown the way a PS2 card shows PS1
// saves: one directory per save, holding one file of the same name with the
// save's blocks. A directory made for a save and the directory a deleted
// save leaves exist only in this backend until a save fills or removes them:
// a PS1 card has nowhere to keep an empty one.
class MemoryCardPs1Image : public MemoryCardImage {
public:
    // path: absolute; connects at once.
    MemoryCardPs1Image(MemoryCardOwner* owner, const std::string& path);

    bool SetCurrentDirectory(const std::string& directory) override;
    std::vector<FtpClient::FILE_DATA> List() override;
    bool Remove(const std::string& name) override;
    bool Put(const std::string& name) override;
    bool Get(const std::string& name) override;
    bool RemoveDirectory(const std::string& name) override;
    bool MakeDirectory(const std::string& name) override;

private:
    bool Parse(std::vector<uint8_t> bytes, std::string& why) override;
    bool HasSave(const std::string& name) const;
    // The save's own file in its own directory; false (logged) for any other.
    bool IsSaveFile(const std::string& name, const char* operation) const;

    std::unique_ptr<Ps1CardImage> card;
    std::set<std::string> emptyDirectories;
};
