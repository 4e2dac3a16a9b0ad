#pragma once
// The PS2 memory-card file system as it lies in an image file: the superblock,
// directory entries and their times, the FAT values and the fixed geometry
// this program writes. Every other file takes the layout from here.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "save/CardTime.h"

namespace Ps2Card {

// The records are copied in and out of the image as they lie there.
static_assert(std::endian::native == std::endian::little);

constexpr std::string_view kMagic = "Sony PS2 Memory Card Format ";
constexpr std::string_view kVersion = "1.2.0.0";

// The card's own time record, the one every container copies; on a card it is
// Japan time (UTC+9) whatever the console's region.
using Time = CardTime;

#pragma pack(push, 1)

// Page 0 of the card. Only the fields up to cardFlags mean anything to a reader.
struct Superblock {
    char magic[28];
    char version[12];
    uint16_t pageLength;
    uint16_t pagesPerCluster;
    uint16_t pagesPerBlock;
    uint16_t unknown;  // 0xFF00 on every card seen
    uint32_t clustersPerCard;
    uint32_t allocOffset;  // absolute cluster of relative cluster 0
    uint32_t allocEnd;     // allocatable clusters, counted from allocOffset
    uint32_t rootCluster;  // relative
    uint32_t backupBlock1;
    uint32_t backupBlock2;
    uint8_t unused[8];
    uint32_t indirectFat[32];  // absolute clusters of the indirect FAT
    int32_t badBlocks[32];     // erase blocks; -1 = none
    uint8_t cardType;
    uint8_t cardFlags;
};

// One directory entry; a directory is a file of these.
struct DirEntry {
    uint16_t mode;
    uint16_t unused1;
    uint32_t length;  // bytes of a file; entries of a directory, "." and ".." included
    Time created;
    uint32_t cluster;   // first relative cluster; kNoCluster for an empty file
    uint32_t dirEntry;  // "." only: this directory's index in its parent
    Time modified;
    uint32_t attribute;
    uint8_t unused2[28];
    char name[32];  // NUL-terminated when shorter
    uint8_t unused3[416];
};
#pragma pack(pop)

static_assert(sizeof(Time) == 8);
static_assert(offsetof(Superblock, pageLength) == 0x28);
static_assert(offsetof(Superblock, clustersPerCard) == 0x30);
static_assert(offsetof(Superblock, indirectFat) == 0x50);
static_assert(offsetof(Superblock, badBlocks) == 0xD0);
static_assert(offsetof(Superblock, cardType) == 0x150);
static_assert(sizeof(Superblock) == 0x152);
static_assert(offsetof(DirEntry, created) == 0x08);
static_assert(offsetof(DirEntry, cluster) == 0x10);
static_assert(offsetof(DirEntry, modified) == 0x18);
static_assert(offsetof(DirEntry, name) == 0x40);
static_assert(sizeof(DirEntry) == 512);

// Mode bits of a directory entry.
enum Mode : uint16_t {
    kModeRead = 0x0001,
    kModeWrite = 0x0002,
    kModeExecute = 0x0004,
    kModeFile = 0x0010,
    kModeDirectory = 0x0020,
    kModeClosed = 0x0080,   // a file written to its end
    kModeCreated = 0x0400,  // every entry the console creates
    kModeHidden = 0x2000,
    kModeExists = 0x8000,   // clear: deleted
};
constexpr uint16_t kDirectoryMode = 0x8427;
constexpr uint16_t kFileMode = 0x8497;
constexpr uint16_t kRootParentMode = 0xA426;  // the root's "..": hidden, not readable

// FAT values: bit 31 set is a cluster in use whose low bits name the next one.
constexpr uint32_t kFatInUse = 0x80000000u;
constexpr uint32_t kFatChainEnd = 0xFFFFFFFFu;
constexpr uint32_t kFatFormattedFree = 0x7FFFFFFFu;
constexpr uint32_t kFatBad = 0xFFFFFFFDu;  // written by the console's formatter
constexpr uint32_t kNoCluster = 0xFFFFFFFFu;

constexpr size_t kEntrySize = sizeof(DirEntry);
constexpr uint32_t kJapanOffsetSeconds = 9 * 3600;

// What this program formats: the console's own geometry, 512-byte pages with
// a spare area of page/32 bytes when the image carries one.
constexpr uint16_t kPageLength = 512;
constexpr uint16_t kPagesPerCluster = 2;
constexpr uint16_t kPagesPerBlock = 16;
constexpr uint32_t kClusterSize = kPageLength * kPagesPerCluster;
constexpr uint32_t kIndirectFatCluster = 8;
constexpr uint8_t kCardTypePs2 = 2;
constexpr uint8_t kCardFlags = 0x2B;
constexpr uint8_t kErased = 0xFF;
// Bytes of ECC per 128 data bytes, and the data each covers.
constexpr size_t kEccChunk = 128;
constexpr size_t kEccBytesPerChunk = 3;

}  // namespace Ps2Card
