#pragma once
#include "card/MemoryCard.h"

// A folder on a removable drive standing for a card: its subfolders are the
// saves. The folder is read from the window's USB folder edit at every
// operation; it has one slot. Links inside it are never followed, and only
// regular files are ever opened; the log says when one was refused.
class MemoryCardUSBMemory : public MemoryCard {
public:
    explicit MemoryCardUSBMemory(MemoryCardOwner* owner);

    bool IsConnected() override { return connected; }
    bool SetCurrentDirectory(const std::string& directory) override;
    std::vector<FtpClient::FILE_DATA> List() override;
    bool Remove(const std::string& name) override;
    bool Put(const std::string& name) override;
    bool Get(const std::string& name) override;
    bool RemoveDirectory(const std::string& name) override;
    bool MakeDirectory(const std::string& name) override;

private:
    // The folder text with a trailing '/'; empty when the text is empty.
    std::string Root() const;
    std::string FullPath(const std::string& name) const;
    // False when the save entered is gone or was swapped for a link since
    // (logged): nothing may go through a link out of the card folder.
    bool InRealDirectory(const char* operation) const;

    bool connected = false;
    std::string currentDirectory;
};
