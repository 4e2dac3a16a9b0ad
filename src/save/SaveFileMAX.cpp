#include "save/SaveFileMAX.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <vector>

#include "save/ByteReader.h"
#include "save/Lzari.h"

namespace {

static_assert(std::endian::native == std::endian::little, "the layouts are copied as they lie in the file");

#pragma pack(push, 1)
struct MaxHeader {
    char magic[12];  // "Ps2PowerSave"
    uint32_t checksum;
    char directory[32];
    // Free text of the MAX software, often a lossy rendering of the title: not used.
    char text[32];
    // Counts the 4 bytes after it in some files, not in others: not used,
    // the stream runs to the end of the file.
    uint32_t compressedLength;
    uint32_t fileCount;
    uint32_t length;  // of the unpacked stream
};
// In the unpacked stream: each file's header, then its bytes.
struct MaxFile {
    uint32_t length;
    char name[32];
};
#pragma pack(pop)
static_assert(sizeof(MaxHeader) == 0x5C);
static_assert(offsetof(MaxHeader, checksum) == SaveFileMAX::kChecksumOffset);
static_assert(offsetof(MaxHeader, compressedLength) == 0x50);
static_assert(sizeof(MaxFile) == 36);

static_assert(SaveFileMAX::kMagic.size() == sizeof MaxHeader::magic);

// Each file's header starts 8 bytes past a multiple of 16, so that its bytes
// start on one; the last file is padded the same way.
uint64_t NextHeader(uint64_t end) { return (end + 8 + 15) / 16 * 16 - 8; }
constexpr uint64_t kLongestPadding = 15;

}  // namespace

uint32_t SaveFileMAX::Checksum(std::span<const uint8_t> file)
{
    constexpr std::array<uint8_t, sizeof(uint32_t)> kZeros{};
    const auto part = [](uLong crc, std::span<const uint8_t> bytes) {
        return ::crc32(crc, bytes.data(), static_cast<uInt>(bytes.size()));
    };
    const size_t after = std::min(file.size(), kChecksumOffset + kZeros.size());
    uLong crc = part(::crc32(0, nullptr, 0), file.first(std::min(file.size(), kChecksumOffset)));
    crc = part(crc, kZeros);
    crc = part(crc, file.subspan(after));
    return static_cast<uint32_t>(crc);
}

bool SaveFileMAX::Parse(std::span<const uint8_t> bytes)
{
    MaxHeader header;
    if (!ByteReader(bytes).Get(header)) {
        return Fail("ファイルが途中で終わっています");
    }
    if (std::memcmp(header.magic, kMagic.data(), kMagic.size()) != 0) {
        return Fail("形式が違うため読み込みませんでした");
    }
    // Random or cut streams still unpack to the full length: the checksum
    // is what tells them.
    if (header.checksum != Checksum(bytes)) {
        return Fail("チェックサムが一致しないため読み込みませんでした");
    }
    if (!BeginSave(header.directory)) {
        return false;
    }
    if (header.length > kLargestContent) {
        return Fail("展開後のサイズが大きすぎるため読み込みませんでした");
    }
    if (header.fileCount > header.length / sizeof(MaxFile)) {
        return Fail("ファイル数がデータと一致しないため読み込みませんでした");
    }
    std::vector<uint8_t> stream;
    if (!Lzari::Decode(bytes.subspan(sizeof header), header.length, stream)) {
        return Fail("ファイルが途中で終わっています");
    }

    ByteReader files(stream);
    size_t end = 0;
    for (uint32_t i = 0; i < header.fileCount; ++i) {
        MaxFile file;
        if (!files.Get(file)) {
            return Fail("ファイル数がデータと一致しないため読み込みませんでした");
        }
        if (!AddFileFrom(files, file.name, file.length)) {
            return false;
        }
        end = files.At();
        files.Skip(std::min<uint64_t>(NextHeader(end) - end, files.Left()));
    }
    // Only the last file's padding may follow it: more would be files the
    // count leaves out.
    if (stream.size() - end > kLongestPadding) {
        return Fail("ファイル数がデータと一致しないため読み込みませんでした");
    }
    return true;
}
