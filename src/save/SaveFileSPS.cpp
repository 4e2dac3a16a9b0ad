#include "save/SaveFileSPS.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <optional>

#include "save/ByteReader.h"

namespace {

static_assert(std::endian::native == std::endian::little, "the layouts are copied as they lie in the file");

#pragma pack(push, 1)
struct SpsHead {
    uint32_t magicLength;  // 13
    char magic[13];        // "SharkPortSave", no NUL
    uint32_t reserved;
};
// The save directory's entry, then each file's entry followed by its bytes.
struct SpsEntry {
    uint16_t length;  // of this entry; the next starts there
    char name[64];
    // The directory: its entries, "." and ".." counted; a file: its length.
    uint32_t size;
    uint32_t clusters[2];
    uint8_t mode[2];  // big-endian, unlike everything else
    uint16_t reserved0;
    CardTime created;
    CardTime modified;
    uint32_t reserved1;
    uint32_t files;  // the directory: its files; a file: 1
    CardTime createdAgain;
    char title[64];      // the directory: ASCII title; a file: its name again
    char titleSjis[64];  // the directory: the icon.sys title; a file: its name again
    uint8_t reserved2[8];
};
#pragma pack(pop)
static_assert(sizeof(SpsHead) == 0x15);
static_assert(SaveFileSPS::kMagic.size() == sizeof SpsHead::magic);
static_assert(sizeof(SpsEntry) == 0xFA);
static_assert(offsetof(SpsEntry, size) == 0x42);
static_assert(offsetof(SpsEntry, created) == 0x52);
static_assert(offsetof(SpsEntry, title) == 0x72);
// Everything read from an entry lies before this; shorter entries are damage.
constexpr size_t kShortestEntry = offsetof(SpsEntry, reserved1);
// The directory's own "." and ".." count among its entries.
constexpr uint32_t kDotEntries = 2;

// An entry of any length from kShortestEntry on, which the reader then
// stands after; the fields past its end read as zeros.
bool TakeEntry(ByteReader& reader, SpsEntry& entry)
{
    uint16_t length = 0;
    if (!ByteReader(reader).Get(length) || length < kShortestEntry) {
        return false;
    }
    const auto bytes = reader.Take(length);
    if (!bytes) {
        return false;
    }
    entry = SpsEntry{};
    std::memcpy(&entry, bytes->data(), std::min(bytes->size(), sizeof entry));
    return true;
}

}  // namespace

uint32_t SaveFileSPS::Checksum(std::span<const uint8_t> payload)
{
    uint32_t sum = 0;
    for (const uint8_t byte : payload) {
        sum += uint32_t{byte} << (sum % 24);
    }
    return sum;
}

bool SaveFileSPS::Parse(std::span<const uint8_t> bytes)
{
    ByteReader file(bytes);
    SpsHead head;
    if (!file.Get(head)) {
        return Fail("ファイルが途中で終わっています");
    }
    if (head.magicLength != kMagic.size() || std::memcmp(head.magic, kMagic.data(), kMagic.size()) != 0) {
        return Fail("形式が違うため読み込みませんでした");
    }
    // Title, description and comment: shown by the adapter's software, not used here.
    for (int text = 0; text < 3; ++text) {
        uint32_t length = 0;
        if (!file.Get(length) || !file.Skip(length)) {
            return Fail("ファイルが途中で終わっています");
        }
    }
    uint32_t payloadLength = 0;
    uint32_t checksum = 0;
    std::optional<std::span<const uint8_t>> payload;
    if (!file.Get(payloadLength) || !(payload = file.Take(payloadLength)) || !file.Get(checksum)) {
        return Fail("ファイルが途中で終わっています");
    }
    if (file.Left() != 0) {
        return Fail("形式が違うため読み込みませんでした");
    }
    if (checksum != Checksum(*payload)) {
        return Fail("チェックサムが一致しないため読み込みませんでした");
    }

    ByteReader entries(*payload);
    SpsEntry directory;
    if (!TakeEntry(entries, directory)) {
        return Fail("ファイル数がデータと一致しないため読み込みませんでした");
    }
    if (!BeginSave(directory.name)) {
        return false;
    }
    if (directory.size < kDotEntries || directory.size - kDotEntries > payload->size() / kShortestEntry) {
        return Fail("ファイル数がデータと一致しないため読み込みませんでした");
    }
    for (uint32_t i = 0; i < directory.size - kDotEntries; ++i) {
        SpsEntry entry;
        if (!TakeEntry(entries, entry)) {
            return Fail("ファイル数がデータと一致しないため読み込みませんでした");
        }
        if (!AddFileFrom(entries, entry.name, entry.size, entry.created, entry.modified)) {
            return false;
        }
    }
    // Bytes after the last file are files the count leaves out, or a layout not known here.
    if (entries.Left() != 0) {
        return Fail("ファイル数がデータと一致しないため読み込みませんでした");
    }
    return true;
}
