#pragma once
#include <sys/types.h>

#include <ctime>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "card/MemoryCard.h"

// What the two card-image backends share: the image file named when
// connecting (not followed when the window's field changes later), read again
// only when it changed on disk, and replaced whole by every change: the new
// image is written beside the old and renamed over it, so the file is never
// half-written and a failed change leaves it as it was. The file's folder
// must pass the removable-drive check a folder card passes. One slot.
class MemoryCardImage : public MemoryCard {
public:
    bool IsConnected() override { return connected; }

protected:
    // path: absolute. className names the backend in log lines.
    MemoryCardImage(MemoryCardOwner* owner, const std::string& path, const char* className);
    // Subclasses connect at the end of their constructors, once Parse works.
    void Connect();

    // Takes a freshly read file; false (why says) when it holds no usable card.
    virtual bool Parse(std::vector<uint8_t> bytes, std::string& why) = 0;
    // Reads the file again when it changed since; false (logged) when it
    // cannot be read or parsed any more.
    bool Refresh(const char* operation);
    // The new image in place of the old; false (logged) leaves the old one.
    bool Replace(std::span<const uint8_t> bytes, const char* operation);

    // Parse for a card class that says Valid() and Refusal().
    template <typename Card>
    static bool ParseInto(std::unique_ptr<Card>& card, std::vector<uint8_t> bytes, std::string& why)
    {
        auto parsed = std::make_unique<Card>(std::move(bytes));
        if (!parsed->Valid()) {
            why = parsed->Refusal();
            return false;
        }
        card = std::move(parsed);
        return true;
    }

    // Runs change on a copy of the card and saves the copy; the card in
    // memory and the file stay as they were when either fails (logged).
    template <typename Card, typename Change>
    bool ChangeCard(std::unique_ptr<Card>& card, const char* operation, const std::string& name, Change change)
    {
        if (!Refresh(operation)) {
            return false;
        }
        Card copy = *card;
        std::string why;
        if (!change(copy, why)) {
            LogFailure("エラー : メモリーカードイメージを変更できませんでした", operation, name, why);
            return false;
        }
        if (!Replace(copy.Bytes(), operation)) {
            return false;
        }
        *card = std::move(copy);
        return true;
    }

    // The PC file of that name in the process's current working directory.
    struct PcFile {
        std::vector<uint8_t> bytes;
        int64_t created = 0;
        int64_t modified = 0;
    };
    bool ReadPcFile(const std::string& name, uint64_t limit, const char* operation, PcFile& file) const;
    // Written whole under a temporary name first; replaces what is there.
    bool WritePcFile(const std::string& name, std::span<const uint8_t> bytes, int64_t modified,
                     const char* operation) const;

    // "<class>::<operation>() <name>: <why>" after the message.
    void LogFailure(const std::string& message, const char* operation, const std::string& name,
                    const std::string& why) const;
    static int64_t Now() { return static_cast<int64_t>(std::time(nullptr)); }

    std::string currentDirectory;

private:
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        struct timespec modified {};
        struct timespec changed {};
        bool operator==(const Identity& other) const;
    };
    static bool IdentityOf(const std::string& path, Identity& identity);

    std::string path;
    const char* className;
    bool connected = false;
    bool loaded = false;
    Identity identity;
};
