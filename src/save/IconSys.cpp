#include "save/IconSys.h"

#include <cstring>
#include <utility>

#include "common/FileRead.h"
#include "common/Log.h"
#include "common/TextCodec.h"

namespace {

// The part of an icon.sys the program reads. Little-endian throughout; the
// colour and light fields between the header and the title are never used.
struct IconSysLayout {
    static constexpr size_t kMagicOffset = 0x000;
    static constexpr char kMagic[4] = {'P', 'S', '2', 'D'};
    static constexpr size_t kLineBreakOffset = 0x006;  // signed 16-bit byte offset into the title
    static constexpr size_t kTitleOffset = 0x0C0;
    static constexpr size_t kTitleWidth = 68;
    static constexpr size_t kIconNameOffsets[3] = {0x104, 0x144, 0x184};
    static constexpr size_t kIconNameWidth = 64;
    static constexpr size_t kReadSize = 512;
};
static_assert(IconSysLayout::kTitleOffset + IconSysLayout::kTitleWidth <= IconSysLayout::kIconNameOffsets[0]);
static_assert(IconSysLayout::kIconNameOffsets[0] + IconSysLayout::kIconNameWidth <= IconSysLayout::kIconNameOffsets[1]);
static_assert(IconSysLayout::kIconNameOffsets[1] + IconSysLayout::kIconNameWidth <= IconSysLayout::kIconNameOffsets[2]);
static_assert(IconSysLayout::kIconNameOffsets[2] + IconSysLayout::kIconNameWidth <= IconSysLayout::kReadSize);

const std::string kReadFailed = "ファイルの読み込みに失敗しました IconSys::IconSys ";

// A text field ends at its first NUL or, in files that fill it up, at its own
// end: the bytes after it belong to the next field.
std::string ReadField(std::span<const uint8_t> bytes, size_t offset, size_t width)
{
    const auto field = bytes.subspan(offset, width);
    const void* nul = std::memchr(field.data(), 0, field.size());
    const size_t length =
        nul == nullptr ? field.size() : static_cast<size_t>(static_cast<const uint8_t*>(nul) - field.data());
    return std::string(reinterpret_cast<const char*>(field.data()), length);
}

// Where the second line of a Shift-JIS title begins. Some old homebrew files
// give an odd offset that falls on the second byte of a double-byte character;
// splitting there would garble two characters, so the break moves back to the
// start of that character.
size_t LineBreakPosition(const std::string& title, size_t offset)
{
    size_t position = 0;
    while (position < offset) {
        const size_t step = IsSjisLeadByte(static_cast<unsigned char>(title[position])) ? 2 : 1;
        if (position + step > offset) {
            break;
        }
        position += step;
    }
    return position;
}

}  // namespace

IconSys::IconSys(const std::string& path)
{
    const FileHead head = ReadFileHead(path, IconSysLayout::kReadSize);
    if (head.openError) {
        Log(kReadFailed + path);
        LogError(head.openError);
        return;
    }
    Parse(head.bytes, path);
}

IconSys::IconSys(std::span<const uint8_t> bytes, const std::string& path) { Parse(bytes, path); }

void IconSys::Parse(std::span<const uint8_t> bytes, const std::string& path)
{
    // A file shorter than the block read lacks fields the program needs; a
    // longer one carries only reserved bytes (or, in one known homebrew bug, a
    // second whole icon.sys) after it.
    if (bytes.size() < IconSysLayout::kReadSize) {
        Log(kReadFailed + path);
        return;
    }
    bytes = bytes.first(IconSysLayout::kReadSize);
    if (std::memcmp(bytes.data() + IconSysLayout::kMagicOffset, IconSysLayout::kMagic,
                    sizeof IconSysLayout::kMagic) != 0) {
        Log(kReadFailed + path);
        return;
    }

    std::string readTitle = ReadField(bytes, IconSysLayout::kTitleOffset, IconSysLayout::kTitleWidth);
    const auto lineBreak = static_cast<int16_t>(bytes[IconSysLayout::kLineBreakOffset] |
                                                (bytes[IconSysLayout::kLineBreakOffset + 1] << 8));
    // A negative offset names no second line: the title stays as one line.
    if (lineBreak >= 0 && readTitle.size() > static_cast<size_t>(lineBreak)) {
        readTitle.insert(LineBreakPosition(readTitle, static_cast<size_t>(lineBreak)), 1, ' ');
    }

    for (size_t i = 0; i < 3; ++i) {
        iconFileNames[i] = ReadField(bytes, IconSysLayout::kIconNameOffsets[i], IconSysLayout::kIconNameWidth);
    }
    title = std::move(readTitle);
    valid = true;
}
