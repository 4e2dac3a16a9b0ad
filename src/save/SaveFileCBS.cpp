#include "save/SaveFileCBS.h"

#include <zlib.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <vector>

#include "save/ByteReader.h"
#include "save/Rc4.h"

namespace {

static_assert(std::endian::native == std::endian::little, "the layouts are copied as they lie in the file");

#pragma pack(push, 1)
struct CbsHeader {
    char magic[4];  // "CFU\0"
    uint32_t unknown;  // 8000 in every file seen; what it means is not known
    uint32_t bodyOffset;
    uint32_t length;  // of the unpacked body
    // The whole file's length in the files seen, not the body's: not used,
    // the body runs to the end of the file.
    uint32_t compressedLength;
    char directory[32];
    CardTime created;
    CardTime modified;
    uint32_t reserved0;
    uint32_t mode;
    uint8_t reserved1[16];
    // The CodeBreaker's own rendering of the icon.sys title: not used.
    char title[72];
    char description[132];
};
// In the unpacked body: each file's header, then its bytes, no padding.
struct CbsFile {
    CardTime created;
    CardTime modified;
    uint32_t length;
    uint32_t mode;
    uint8_t reserved[8];
    char name[32];
};
#pragma pack(pop)
static_assert(sizeof(CbsHeader) == 0x128);
static_assert(offsetof(CbsHeader, directory) == 0x14);
static_assert(offsetof(CbsHeader, mode) == 0x48);
static_assert(offsetof(CbsHeader, title) == 0x5C);
static_assert(sizeof(CbsFile) == 64);
static_assert(SaveFileCBS::kMagic.size() == sizeof CbsHeader::magic);

// The cipher's starting permutation, as the CodeBreaker uses it.
constexpr std::array<uint8_t, 256> kPermutation = {
    0x5f, 0x1f, 0x85, 0x6f, 0x31, 0xaa, 0x3b, 0x18, 0x21, 0xb9, 0xce, 0x1c, 0x07, 0x4c, 0x9c, 0xb4,
    0x81, 0xb8, 0xef, 0x98, 0x59, 0xae, 0xf9, 0x26, 0xe3, 0x80, 0xa3, 0x29, 0x2d, 0x73, 0x51, 0x62,
    0x7c, 0x64, 0x46, 0xf4, 0x34, 0x1a, 0xf6, 0xe1, 0xba, 0x3a, 0x0d, 0x82, 0x79, 0x0a, 0x5c, 0x16,
    0x71, 0x49, 0x8e, 0xac, 0x8c, 0x9f, 0x35, 0x19, 0x45, 0x94, 0x3f, 0x56, 0x0c, 0x91, 0x00, 0x0b,
    0xd7, 0xb0, 0xdd, 0x39, 0x66, 0xa1, 0x76, 0x52, 0x13, 0x57, 0xf3, 0xbb, 0x4e, 0xe5, 0xdc, 0xf0,
    0x65, 0x84, 0xb2, 0xd6, 0xdf, 0x15, 0x3c, 0x63, 0x1d, 0x89, 0x14, 0xbd, 0xd2, 0x36, 0xfe, 0xb1,
    0xca, 0x8b, 0xa4, 0xc6, 0x9e, 0x67, 0x47, 0x37, 0x42, 0x6d, 0x6a, 0x03, 0x92, 0x70, 0x05, 0x7d,
    0x96, 0x2f, 0x40, 0x90, 0xc4, 0xf1, 0x3e, 0x3d, 0x01, 0xf7, 0x68, 0x1e, 0xc3, 0xfc, 0x72, 0xb5,
    0x54, 0xcf, 0xe7, 0x41, 0xe4, 0x4d, 0x83, 0x55, 0x12, 0x22, 0x09, 0x78, 0xfa, 0xde, 0xa7, 0x06,
    0x08, 0x23, 0xbf, 0x0f, 0xcc, 0xc1, 0x97, 0x61, 0xc5, 0x4a, 0xe6, 0xa0, 0x11, 0xc2, 0xea, 0x74,
    0x02, 0x87, 0xd5, 0xd1, 0x9d, 0xb7, 0x7e, 0x38, 0x60, 0x53, 0x95, 0x8d, 0x25, 0x77, 0x10, 0x5e,
    0x9b, 0x7f, 0xd8, 0x6e, 0xda, 0xa2, 0x2e, 0x20, 0x4f, 0xcd, 0x8f, 0xcb, 0xbe, 0x5a, 0xe0, 0xed,
    0x2c, 0x9a, 0xd4, 0xe2, 0xaf, 0xd0, 0xa9, 0xe8, 0xad, 0x7a, 0xbc, 0xa8, 0xf2, 0xee, 0xeb, 0xf5,
    0xa6, 0x99, 0x28, 0x24, 0x6c, 0x2b, 0x75, 0x5d, 0xf8, 0xd3, 0x86, 0x17, 0xfb, 0xc0, 0x7b, 0xb3,
    0x58, 0xdb, 0xc7, 0x4b, 0xff, 0x04, 0x50, 0xe9, 0x88, 0x69, 0xc9, 0x2a, 0xab, 0xfd, 0x5b, 0x1b,
    0x8a, 0xd9, 0xec, 0x27, 0x44, 0x0e, 0x33, 0xc8, 0x6b, 0x93, 0x32, 0x48, 0xb6, 0x30, 0x43, 0xa5,
};

// Exactly length bytes out of the zlib stream at the start of in. One byte
// of room more than that tells a stream that holds more.
bool Inflate(std::span<const uint8_t> in, size_t length, std::vector<uint8_t>& out)
{
    out.assign(length + 1, 0);
    z_stream stream{};
    if (::inflateInit(&stream) != Z_OK) {
        return false;
    }
    stream.next_in = const_cast<Bytef*>(in.data());
    stream.avail_in = static_cast<uInt>(in.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = ::inflate(&stream, Z_FINISH);
    const bool whole = result == Z_STREAM_END && stream.total_out == length;
    ::inflateEnd(&stream);
    out.resize(whole ? length : 0);
    return whole;
}

}  // namespace

void SaveFileCBS::Cipher(std::span<uint8_t> body) { Rc4(kPermutation).Apply(body); }

bool SaveFileCBS::Parse(std::span<const uint8_t> bytes)
{
    CbsHeader header;
    if (!ByteReader(bytes).Get(header)) {
        return Fail("ファイルが途中で終わっています");
    }
    if (std::memcmp(header.magic, kMagic.data(), kMagic.size()) != 0 || header.bodyOffset < sizeof header) {
        return Fail("形式が違うため読み込みませんでした");
    }
    if (header.bodyOffset > bytes.size()) {
        return Fail("ファイルが途中で終わっています");
    }
    if (!BeginSave(header.directory)) {
        return false;
    }
    if (header.length > kLargestContent) {
        return Fail("展開後のサイズが大きすぎるため読み込みませんでした");
    }
    const auto encrypted = bytes.subspan(header.bodyOffset);
    std::vector<uint8_t> body(encrypted.begin(), encrypted.end());
    Cipher(body);
    std::vector<uint8_t> unpacked;
    if (!Inflate(body, header.length, unpacked)) {
        return Fail("展開できないため読み込みませんでした");
    }

    ByteReader files(unpacked);
    while (files.Left() > 0) {
        CbsFile file;
        if (!files.Get(file)) {
            return Fail("ファイルが途中で終わっています");
        }
        if (!AddFileFrom(files, file.name, file.length, file.created, file.modified)) {
            return false;
        }
    }
    return true;
}
