#include "save/FileKind.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <iterator>
#include <string_view>

#include "common/FileHelpers.h"
#include "common/FileRead.h"
#include "save/SaveFileCBS.h"
#include "save/SaveFileMAX.h"
#include "save/SaveFilePSV.h"
#include "save/SaveFileSPS.h"

namespace {

// The marks each kind of file carries at its start.
constexpr std::string_view kIconSysMark = "PS2D";
constexpr std::string_view kNpoMark = "nPort";

// The first three 512-byte entries of a .psu: the save directory, "." and "..".
namespace PsuLayout {
constexpr size_t kEntrySize = 512;
constexpr size_t kModeOffset = 0x000;
constexpr size_t kNameOffset = 0x040;
// Mode bits of a directory that exists; homebrew tools set further bits (0x842F).
constexpr uint16_t kDirectoryBits = 0x8020;
constexpr size_t kEntryCount = 3;
constexpr size_t kHeadSize = kEntryCount * kEntrySize;
}  // namespace PsuLayout

constexpr uint64_t kPS1BlockSize = 8192;

// PS1 card images: 128 KiB, opening with the "MC" frame, as consoles and most
// emulators write them, or after the header of the tool that made the file.
namespace CardLayout {
constexpr std::string_view kCardMark = "MC";
constexpr uint64_t kImageSize = 131072;
// The directory block: a file ending before it has no saves to give.
constexpr uint64_t kDirectoryBlockSize = 8192;
struct Header {
    std::string_view mark;
    size_t size;
};
constexpr Header kHeaders[] = {
    {"123-456-STD", 3904},                    // DexDrive .gme
    {"VgsM", 64},                             // Connectix VGS .vgs/.mem
    {std::string_view("\0PMV", 4), 128},      // PSP/PS3 .vmp
};
}  // namespace CardLayout

// Enough for the three .psu entries and the image behind the longest header.
constexpr size_t kHeadSize = 4096;
static_assert(kHeadSize >= PsuLayout::kHeadSize);
static_assert(std::ranges::all_of(CardLayout::kHeaders, [](const CardLayout::Header& header) {
    return header.size + CardLayout::kCardMark.size() <= kHeadSize;
}));

bool HasMark(std::span<const uint8_t> bytes, uint64_t offset, std::string_view mark)
{
    return offset <= bytes.size() && bytes.size() - offset >= mark.size() &&
           std::memcmp(bytes.data() + offset, mark.data(), mark.size()) == 0;
}

// The SharkPort mark is a counted text: its length, then the text.
bool LooksLikeSps(std::span<const uint8_t> head)
{
    constexpr uint8_t kLength[4] = {static_cast<uint8_t>(SaveFileSPS::kMagic.size()), 0, 0, 0};
    return HasMark(head, 0, std::string_view(reinterpret_cast<const char*>(kLength), sizeof kLength)) &&
           HasMark(head, sizeof kLength, SaveFileSPS::kMagic);
}

// Entry `entry` of a .psu head is a directory; name empty: any name.
bool IsPsuDirectoryEntry(std::span<const uint8_t> bytes, size_t entry, std::string_view name)
{
    const size_t start = entry * PsuLayout::kEntrySize;
    if (bytes.size() < start + PsuLayout::kEntrySize) {
        return false;
    }
    const auto mode = static_cast<uint16_t>(bytes[start + PsuLayout::kModeOffset] |
                                            (bytes[start + PsuLayout::kModeOffset + 1] << 8));
    const size_t nameStart = start + PsuLayout::kNameOffset;
    return (mode & PsuLayout::kDirectoryBits) == PsuLayout::kDirectoryBits &&
           (name.empty() || (HasMark(bytes, nameStart, name) && bytes[nameStart + name.size()] == 0));
}

constexpr std::string_view kPsuEntryNames[PsuLayout::kEntryCount] = {"", ".", ".."};

bool LooksLikePsu(std::span<const uint8_t> head)
{
    for (size_t entry = 0; entry < PsuLayout::kEntryCount; ++entry) {
        if (!IsPsuDirectoryEntry(head, entry, kPsuEntryNames[entry])) {
            return false;
        }
    }
    return true;
}

// A .psu cut short inside its head: its save directory entry is there and
// every further entry that is whole is the one it must be. Taken as a .psu,
// so that its reader tells the user it was cut rather than of no known kind.
bool LooksLikeCutPsu(std::span<const uint8_t> head, uint64_t length)
{
    if (length >= PsuLayout::kHeadSize || head.size() != length) {
        return false;
    }
    const size_t whole = head.size() / PsuLayout::kEntrySize;
    if (whole == 0) {
        return false;
    }
    for (size_t entry = 0; entry < whole; ++entry) {
        if (!IsPsuDirectoryEntry(head, entry, kPsuEntryNames[entry])) {
            return false;
        }
    }
    return true;
}

// The same rule as the raw save reader's: "SC" in either case, whole blocks.
bool LooksLikePS1Save(std::span<const uint8_t> head, uint64_t length)
{
    return length > 0 && length % kPS1BlockSize == 0 && head.size() >= 2 && (head[0] == 'S' || head[0] == 's') &&
           (head[1] == 'C' || head[1] == 'c');
}

std::string LowerExtension(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return std::string();
    }
    std::string extension = path.substr(dot);
    std::ranges::transform(extension, extension.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

}  // namespace

std::optional<size_t> PS1CardImageOffset(std::span<const uint8_t> head, uint64_t length)
{
    std::optional<uint64_t> offset;
    const auto header = std::ranges::find_if(CardLayout::kHeaders, [&](const auto& known) { return HasMark(head, 0, known.mark); });
    if (header != std::end(CardLayout::kHeaders)) {
        offset = header->size;
    } else if (HasMark(head, 0, CardLayout::kCardMark)) {
        offset = 0;
    }
    // The header of a tool not known here: the image fills the rest of the file.
    if (!offset && head.size() == length && length > CardLayout::kImageSize && length <= kLargestPS1CardFile) {
        offset = length - CardLayout::kImageSize;
    }
    // Every image opens with its "MC" frame: a header with no image behind it
    // and an unformatted card (all 0xFF, as some emulators create them) hold
    // no saves.
    if (!offset || length < *offset + CardLayout::kDirectoryBlockSize || !HasMark(head, *offset, CardLayout::kCardMark)) {
        return std::nullopt;
    }
    return static_cast<size_t>(*offset);
}

FileKind DetectContentKind(std::span<const uint8_t> head, uint64_t length)
{
    if (HasMark(head, 0, kIconSysMark)) {
        return FileKind::IconSys;
    }
    if (HasMark(head, 0, kNpoMark)) {
        return FileKind::Npo;
    }
    if (HasMark(head, 0, SaveFileMAX::kMagic)) {
        return FileKind::Max;
    }
    if (HasMark(head, 0, SaveFileCBS::kMagic)) {
        return FileKind::Cbs;
    }
    if (LooksLikeSps(head)) {
        return FileKind::Sps;
    }
    if (HasMark(head, 0, SaveFilePSV::kMagic)) {
        return FileKind::Psv;
    }
    if (LooksLikePsu(head)) {
        return FileKind::Psu;
    }
    if (LooksLikePS1Save(head, length)) {
        return FileKind::PS1Save;
    }
    if (PS1CardImageOffset(head, length)) {
        return FileKind::PS1CardImage;
    }
    return FileKind::Unknown;
}

FileKind DetectFileKind(const std::string& path, std::error_code* openError)
{
    if (IsDirectory(path)) {
        return FileKind::SaveFolder;
    }
    FileHead head = ReadFileHead(path, kHeadSize);
    if (head.openError) {
        if (openError != nullptr) {
            *openError = head.openError;
        }
        return FileKind::Unknown;
    }
    FileKind kind = DetectContentKind(head.bytes, head.length);
    // An image behind a header of some other tool shows only in the whole file.
    if (kind == FileKind::Unknown && head.bytes.size() < head.length && head.length <= kLargestPS1CardFile) {
        head = ReadFileHead(path, static_cast<size_t>(head.length));
        if (!head.openError) {
            kind = DetectContentKind(head.bytes, head.length);
        }
    }
    // The name counts only where the content cannot show its kind. An .npo
    // always opens with its mark, and its reader takes any bytes: no name makes
    // one of a file without it.
    if (kind == FileKind::Unknown && LowerExtension(path) == ".psu" && LooksLikeCutPsu(head.bytes, head.length)) {
        kind = FileKind::Psu;
    }
    return kind;
}
