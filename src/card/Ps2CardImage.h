#pragma once
// The PS2 memory-card file system over an image held in memory: pages with or
// without their spare (ECC) bytes, the two-level FAT, directories as files of
// 512-byte entries. Reads stop at what is sound (a chain that loops or leaves
// the card ends there); writes change only this copy, so a caller that keeps
// the old copy until the new one is saved never loses an image.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "card/Ps2CardLayout.h"

class Ps2CardImage {
public:
    struct Entry {
        std::string name;  // the card's bytes
        uint16_t mode = 0;
        uint32_t length = 0;
        int64_t created = 0;  // seconds since 1970 UTC; 0 when the card's time is no date
        int64_t modified = 0;
        bool IsDirectory() const { return (mode & Ps2Card::kModeDirectory) != 0; }
    };

    // Card sizes this program formats, in MB.
    static bool IsFormatSize(uint32_t megabytes);
    // An empty card of that size, formatted as the console's driver lays it out.
    static std::vector<uint8_t> Format(uint32_t megabytes, bool ecc, int64_t now);
    // The same layout for any whole number of erase blocks from 8 on (64
    // clusters): small cards for tests and fuzzing. Empty for other counts.
    static std::vector<uint8_t> FormatClusters(uint32_t clusters, bool ecc, int64_t now);
    // The card's format mark at the start: the bytes claim to be a PS2 card.
    static bool HasMagic(std::span<const uint8_t> head);

    // Card times are Japan time; these convert to and from seconds since 1970 UTC.
    static int64_t ToUnixTime(const Ps2Card::Time& time);
    static Ps2Card::Time FromUnixTime(int64_t seconds);

    explicit Ps2CardImage(std::vector<uint8_t> bytes);

    // False when the superblock cannot be used; Refusal() says why.
    bool Valid() const { return refusal.empty(); }
    const std::string& Refusal() const { return refusal; }
    bool HasEcc() const { return ecc; }
    const std::vector<uint8_t>& Bytes() const { return image; }
    // Clusters still free for new data, within what the console itself uses.
    uint32_t FreeClusters() const;
    // The most a card of this size can hold, in bytes.
    uint64_t Capacity() const { return uint64_t{usableClusters} * clusterSize; }

    // directory: "" for the root, else a directory of the root. Empty when it
    // is not one. Entries that exist, "." and ".." left out, in card order;
    // what could not be read is added to damage.
    std::optional<std::vector<Entry>> List(const std::string& directory, std::vector<std::string>& damage) const;
    // A file's bytes; empty (why says) when it is not there or its chain is broken.
    // found, when given, gets the file's entry.
    std::optional<std::vector<uint8_t>> ReadFile(const std::string& directory, const std::string& name,
                                                 std::string& why, Entry* found = nullptr) const;

    // Changes; each false (why says) leaves this copy partly changed: discard it.
    // A file of that name is replaced.
    bool WriteFile(const std::string& directory, const std::string& name, std::span<const uint8_t> data,
                   int64_t created, int64_t modified, int64_t now, std::string& why);
    bool RemoveFile(const std::string& directory, const std::string& name, int64_t now, std::string& why);
    // In the root.
    bool MakeDirectory(const std::string& name, int64_t now, std::string& why);
    // In the root; only when it holds no file.
    bool RemoveDirectory(const std::string& name, int64_t now, std::string& why);

    // Everything wrong with the image, one line each; empty when it is sound.
    std::vector<std::string> Check() const;

    // Whether the console would take name for a new entry.
    static bool IsValidName(const std::string& name);

private:
    struct Chain {
        std::vector<uint32_t> clusters;  // relative
        std::string fault;               // empty when it ended properly (or as far as wanted)
    };
    // A directory read from its chain; length as its owner entry says.
    struct Directory {
        Chain chain;
        uint32_t length = 0;
        // Where its length and times are kept: the root keeps them in its own
        // "." entry, any other directory in its entry in the root.
        uint32_t ownerFirstCluster = 0;
        uint32_t ownerIndex = 0;
        uint32_t Readable(uint32_t entriesPerCluster) const;
    };
    struct Found {
        Ps2Card::DirEntry entry{};
        uint32_t index = 0;
    };

    std::string ValidateSuperblock();
    void NoteLayoutOverlap(uint32_t fatClusters);
    size_t ByteOffset(uint32_t cluster, uint32_t offset) const;
    void WriteInCluster(uint32_t cluster, uint32_t offset, std::span<const uint8_t> bytes);
    void SealPage(uint64_t page);
    uint32_t Word(uint32_t cluster, uint32_t offset) const;
    void SetWord(uint32_t cluster, uint32_t offset, uint32_t value);

    // The absolute cluster and offset of relative cluster n's FAT entry;
    // empty when the FAT's own pointers leave the card.
    std::optional<std::pair<uint32_t, uint32_t>> FatPlace(uint32_t relative) const;
    std::optional<uint32_t> Fat(uint32_t relative) const;
    void SetFat(uint32_t relative, uint32_t value);
    // Follows a chain up to `wanted` clusters or its end, whichever is first.
    Chain Follow(uint32_t first, size_t wanted) const;
    bool InBadBlock(uint32_t relative) const;
    // The lowest free clusters, chained and marked in use; empty when too few are free.
    std::optional<std::vector<uint32_t>> Allocate(size_t count);
    void Free(const std::vector<uint32_t>& clusters);
    Chain ChainOf(const Ps2Card::DirEntry& entry) const;
    // Frees the clusters of the entry at index of holder that no other chain uses.
    void Release(const Ps2Card::DirEntry& entry, const Directory& holder, uint32_t index);
    // Marks every cluster the entries of directory use, and those below them,
    // skipping the entry at skip.second of the directory whose chain starts at skip.first.
    void MarkUsed(const Directory& directory, int depth, std::pair<uint32_t, uint32_t> skip,
                  std::vector<bool>& used) const;
    // Marks a directory whose chain cannot hold its length as damaged.
    void NoteShortChain(Directory& directory) const;

    Ps2Card::DirEntry EntryAt(const Chain& chain, uint32_t index) const;
    void PutEntry(const Chain& chain, uint32_t index, const Ps2Card::DirEntry& entry);
    Directory Root() const;
    // False (why says) when the card must not be changed, or cannot hold newName when one is given.
    bool Changeable(const std::string* newName, std::string& why) const;
    std::optional<Directory> Open(const std::string& directory, std::string& why) const;
    std::optional<Found> FindLive(const Directory& directory, const std::string& name) const;
    // A new entry's index, the directory grown by a cluster when full.
    std::optional<uint32_t> AddEntry(Directory& directory, const Ps2Card::DirEntry& entry, std::string& why);
    void Touch(const Directory& directory, int64_t now);
    void Delete(const Directory& holder, const Found& found, int64_t now);
    std::optional<Chain> OwnerChain(const Directory& directory) const;
    void CheckDirectory(const Directory& directory, const std::string& path, int depth, std::vector<int32_t>& owner,
                        std::vector<std::string>& owners, std::vector<std::string>& problems) const;

    std::vector<uint8_t> image;
    std::string refusal;
    // Set when the card may be read but must not be changed (see NoteLayoutOverlap).
    std::string layoutFault;
    Ps2Card::Superblock super{};
    bool ecc = false;
    uint32_t pageLength = 0;
    uint32_t pagesPerCluster = 0;
    uint32_t spareLength = 0;
    uint32_t stride = 0;
    uint32_t clusterSize = 0;
    uint32_t entriesPerCluster = 0;
    uint32_t fatPerCluster = 0;
    // Relative clusters new data may take: the console stops short of alloc_end.
    uint32_t usableClusters = 0;
};
