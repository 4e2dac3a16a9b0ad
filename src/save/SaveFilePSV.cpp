#include "save/SaveFilePSV.h"

#include <bit>
#include <cstddef>
#include <cstring>

#include "save/ByteReader.h"
#include "save/PS1SaveData.h"

namespace {

static_assert(std::endian::native == std::endian::little, "the layouts are copied as they lie in the file");

#pragma pack(push, 1)
struct PsvHeader {
    char magic[8];  // "\0VSP", then zeros
    uint8_t seed[20];
    uint8_t signature[20];
    uint8_t reserved[8];
    uint32_t typeInfo;  // 0x2C for PS2 saves, 0x14 for PS1 saves
    uint32_t type;
};
// What follows the header in a PS2 save.
struct PsvPS2Save {
    uint32_t displaySize;
    uint32_t icons[8];  // where icon.sys and the icons lie: the file entries say it too
    uint32_t fileCount;
    CardTime created;
    CardTime modified;
    uint32_t entryCount;  // "." and ".." counted
    uint32_t mode;
    char directory[32];
};
// One per file, right after PsvPS2Save.
struct PsvPS2File {
    CardTime created;
    CardTime modified;
    uint32_t size;
    uint32_t mode;
    char name[32];  // PS3-made files leave junk after the NUL
    uint32_t offset;  // from the start of the file
};
// What follows the header in a PS1 save.
struct PsvPS1Save {
    uint32_t size;
    uint32_t offset;  // from the start of the file
    uint32_t unknown0;
    uint8_t reserved0[16];
    uint32_t sizeAgain;
    uint32_t unknown1;
    char name[20];  // as in the card's directory frame: may fill the field
    uint8_t reserved1[12];
};
#pragma pack(pop)
static_assert(sizeof(PsvHeader) == 0x40);
static_assert(offsetof(PsvHeader, type) == 0x3C);
static_assert(sizeof(PsvPS2Save) == 0x60);
static_assert(offsetof(PsvPS2Save, fileCount) == 0x24);
static_assert(sizeof(PsvPS2File) == 60);
static_assert(sizeof(PsvPS1Save) == 0x44);
static_assert(offsetof(PsvPS1Save, name) == 0x24);
static_assert(SaveFilePSV::kMagic.size() <= sizeof PsvHeader::magic);

enum PsvType : uint32_t { kPS1Save = 1, kPS2Save = 2 };

constexpr uint64_t kPS1BlockSize = 8192;
constexpr uint64_t kPS1CardBlocks = 15;
constexpr uint32_t kDotEntries = 2;

}  // namespace

bool SaveFilePSV::Parse(std::span<const uint8_t> bytes)
{
    ps1Save.reset();
    ByteReader reader(bytes);
    PsvHeader header{};
    if (!reader.Get(header)) {
        return Fail("ファイルが途中で終わっています");
    }
    if (std::memcmp(header.magic, kMagic.data(), kMagic.size()) != 0) {
        return Fail("形式が違うため読み込みませんでした");
    }
    switch (header.type) {
    case kPS2Save:
        return ParsePS2(reader);
    case kPS1Save:
        return ParsePS1(reader);
    default:
        return Fail("未対応の種類のため読み込みませんでした");
    }
}

// The reader stands after the header; the files' offsets count from the
// start of the file.
bool SaveFilePSV::ParsePS2(ByteReader reader)
{
    const ByteReader afterHeader(reader);
    PsvPS2Save save{};
    if (!reader.Get(save)) {
        return Fail("ファイルが途中で終わっています");
    }
    if (!BeginSave(save.directory)) {
        return false;
    }
    if (save.fileCount > reader.Left() / sizeof(PsvPS2File)) {
        return Fail("ファイルが途中で終わっています");
    }
    if (save.entryCount != uint64_t{save.fileCount} + kDotEntries) {
        return Fail("ファイル数がデータと一致しないため読み込みませんでした");
    }
    const uint64_t dataStart = reader.At() + uint64_t{save.fileCount} * sizeof(PsvPS2File);
    for (uint32_t i = 0; i < save.fileCount; ++i) {
        PsvPS2File file{};
        reader.Get(file);
        ByteReader data(afterHeader);
        if (file.offset < dataStart || !data.Skip(file.offset - data.At())) {
            return Fail("ファイルの長さがファイルの終わりを越えています", FieldText(file.name).value_or(""));
        }
        if (!AddFileFrom(data, file.name, file.size, file.created, file.modified)) {
            return false;
        }
    }
    return true;
}

bool SaveFilePSV::ParsePS1(ByteReader reader)
{
    const ByteReader afterHeader(reader);
    PsvPS1Save save{};
    if (!reader.Get(save)) {
        return Fail("ファイルが途中で終わっています");
    }
    // A name that fills its field ends with it, as on the card.
    const std::string name(save.name, ::strnlen(save.name, sizeof save.name));
    if (!IsUsableName(name)) {
        return Fail("不正なファイル名があるため読み込みませんでした", name);
    }
    if (save.size == 0 || save.size % kPS1BlockSize != 0 || save.size > kPS1CardBlocks * kPS1BlockSize) {
        return Fail("形式が違うため読み込みませんでした");
    }
    ByteReader data(afterHeader);
    std::optional<std::span<const uint8_t>> blocks;
    if (save.offset < reader.At() || !data.Skip(save.offset - data.At()) || !(blocks = data.Take(save.size))) {
        return Fail("ファイルが途中で終わっています");
    }
    if (!PS1SaveData(*blocks, blocks->size()).valid) {
        return Fail("PS1セーブデータでないため読み込みませんでした");
    }
    ps1Save = PS1SaveFileMcr::Item{name, {blocks->begin(), blocks->end()}};
    return true;
}
