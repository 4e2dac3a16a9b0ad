#include "save/SaveFilePSU.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>

#include "common/FileHelpers.h"
#include "common/FileRead.h"
#include "common/FileStatus.h"
#include "common/Log.h"
#include "common/PendingFile.h"
#include "common/SystemError.h"
#include "common/TextCodec.h"
#include "common/WidthMapping.h"
#include "save/CardTime.h"

namespace {

// The card's own directory entry, as the console writes it. Little-endian.
#pragma pack(push, 1)
struct PsuEntry {
    uint16_t mode;
    uint16_t reserved0;
    // The save directory: its entries, "." and ".." counted; a file: its length.
    uint32_t count;
    CardTime created;
    uint8_t reserved1[8];
    CardTime modified;
    uint8_t reserved2[32];
    char name[448];  // NUL-terminated, zero-filled
};
#pragma pack(pop)
static_assert(sizeof(PsuEntry) == 512);
static_assert(offsetof(PsuEntry, count) == 0x004);
static_assert(offsetof(PsuEntry, created) == 0x008);
static_assert(offsetof(PsuEntry, modified) == 0x018);
static_assert(offsetof(PsuEntry, name) == 0x040);
static_assert(std::endian::native == std::endian::little, "the entry is copied as it lies in the file");

constexpr uint16_t kDirectoryMode = 0x8427;
constexpr uint16_t kFileMode = 0x8497;
constexpr size_t kEntrySize = sizeof(PsuEntry);
constexpr uint64_t kDataBlock = 1024;
// One byte of the name field stays for the terminating NUL.
constexpr size_t kLongestName = sizeof(PsuEntry::name) - 1;
// The bytes of an icon.sys from the start of its title field.
constexpr size_t kTitleBegin = 0xC0;
constexpr size_t kTitleEnd = 0x100;
// A shorter icon.sys gives the default name.
constexpr size_t kShortestIconSys = 257;

const std::string kDamagedName = "破損ﾌｧｲﾙ";
const std::string kCreateFailed = "ファイルの作成に失敗しました SaveFilePSU::Save()";
const std::string kOpenFailed = "ファイルを開けませんでした SaveFilePsu::Load()";
const std::string kUnsafeOnSave = "エラー : 不正なファイル名をスキップしました SaveFilePSU::Save() ";
const std::string kUnsafeOnLoad = "エラー : 不正なファイル名をスキップしました SaveFilePSU::Load() ";
const std::string kNameTooLong = "エラー : ファイル名が長すぎるためスキップしました SaveFilePSU::Save() ";
const std::string kFileTooLarge = "エラー : ファイルが大きすぎるためスキップしました SaveFilePSU::Save() ";
const std::string kLengthPastEnd = "エラー : ファイルの長さがファイルの終わりを越えています SaveFilePSU::Load() ";
const std::string kEntriesMissing = "エラー : ファイルが途中で終わっています SaveFilePSU::Load() ";
const std::string kTooLarge = "エラー : ファイルが大きすぎるため読み込みませんでした SaveFilePSU::Load() ";
const std::string kSaveLeftOut = "エラー : 書き込めないファイルがあるためセーブデータを書き込みませんでした SaveFilePSU::Save() ";

// Every file takes whole 1024-byte blocks. An empty file takes none: the
// console's own file manager and the other tools write and expect it that way.
uint64_t DataAreaLength(uint64_t length) { return length == 0 ? 0 : ((length - 1) / kDataBlock + 1) * kDataBlock; }

// Only an impossible time abandons a load.
int64_t EntryTime(const CardTime& time, const std::string& path)
{
    const std::optional<int64_t> seconds = FromCardTime(time);
    if (!seconds) {
        throw SaveFileError(path, std::make_error_code(std::errc::invalid_argument));
    }
    return *seconds;
}

PsuEntry MakeEntry(uint16_t mode, uint32_t count, const CardTime& created, const CardTime& modified,
                   const std::string& name)
{
    PsuEntry entry{};
    entry.mode = mode;
    entry.count = count;
    entry.created = created;
    entry.modified = modified;
    std::memcpy(entry.name, name.data(), std::min(name.size(), kLongestName));
    return entry;
}

// The name field ends at its first NUL or at its own end.
std::string EntryName(const PsuEntry& entry)
{
    const void* nul = std::memchr(entry.name, 0, sizeof entry.name);
    const size_t length = nul == nullptr ? sizeof entry.name : static_cast<size_t>(static_cast<const char*>(nul) - entry.name);
    return std::string(entry.name, length);
}

// Reads the .psu front to back. Every entry and every file's bytes must be
// there whole: a file that ends early was cut short (an interrupted download
// or copy), and whatever stood in the missing bytes is lost, not blank.
class EntryReader {
public:
    explicit EntryReader(std::span<const uint8_t> file) : bytes(file) {}

    bool AtEnd() const { return offset >= bytes.size(); }
    uint64_t Left() const { return AtEnd() ? 0 : bytes.size() - offset; }

    // False when the file ends inside the entry.
    bool Entry(PsuEntry& entry)
    {
        if (Left() < kEntrySize) {
            return false;
        }
        std::memcpy(&entry, bytes.data() + offset, kEntrySize);
        offset += kEntrySize;
        return true;
    }

    // False when the file ends before length bytes. The padding after the
    // last file may be missing: its bytes are all there.
    bool Data(uint64_t length, std::vector<uint8_t>& data)
    {
        if (length == 0) {
            SkipZeroBlock();
            data.clear();
            return true;
        }
        if (length > Left()) {
            return false;
        }
        const auto start = bytes.begin() + static_cast<ptrdiff_t>(offset);
        data.assign(start, start + static_cast<ptrdiff_t>(length));
        offset += DataAreaLength(length);
        return true;
    }

    bool SkipData(uint64_t length)
    {
        if (length == 0) {
            SkipZeroBlock();
            return true;
        }
        if (length > Left()) {
            return false;
        }
        offset += DataAreaLength(length);
        return true;
    }

private:
    // Older writers gave an empty file one block of zeros. What follows is
    // that block when it is no entry and all zero (a block cut short by the
    // end of the file included).
    void SkipZeroBlock()
    {
        const uint64_t length = std::min(kDataBlock, Left());
        if (length == 0) {
            return;
        }
        const auto block = bytes.subspan(static_cast<size_t>(offset), static_cast<size_t>(length));
        if (std::all_of(block.begin(), block.end(), [](uint8_t byte) { return byte == 0; })) {
            offset += length;
        }
    }

    std::span<const uint8_t> bytes;
    uint64_t offset = 0;
};

void AppendEntry(std::vector<uint8_t>& image, size_t& offset, const PsuEntry& entry)
{
    std::memcpy(image.data() + offset, &entry, kEntrySize);
    offset += kEntrySize;
}

// The whole .psu of one save, the files already chosen.
std::vector<uint8_t> MakeImage(const std::string& saveName, const std::vector<const SaveFileBase::FILE_DATA*>& files,
                               const CardTime& created, const CardTime& modified)
{
    uint64_t total = 3 * kEntrySize;
    for (const auto* file : files) {
        total += kEntrySize + DataAreaLength(file->data.size());
    }
    std::vector<uint8_t> image(static_cast<size_t>(total), 0);
    size_t offset = 0;
    const auto entries = static_cast<uint32_t>(files.size() + 2);
    AppendEntry(image, offset, MakeEntry(kDirectoryMode, entries, created, modified, saveName));
    AppendEntry(image, offset, MakeEntry(kDirectoryMode, 0, created, modified, "."));
    AppendEntry(image, offset, MakeEntry(kDirectoryMode, 0, created, modified, ".."));
    for (const auto* file : files) {
        const auto length = static_cast<uint32_t>(file->data.size());
        AppendEntry(image, offset,
                    MakeEntry(kFileMode, length, ToCardTime(file->creationTime), ToCardTime(file->lastWriteTime), file->name));
        if (length > 0) {
            std::memcpy(image.data() + offset, file->data.data(), length);
        }
        offset += static_cast<size_t>(DataAreaLength(length));
    }
    return image;
}

std::string CollapseSpaces(const std::string& text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return std::string();
    }
    const size_t last = text.find_last_not_of(' ');
    std::string collapsed;
    for (size_t i = first; i <= last; ++i) {
        if (text[i] != ' ' || collapsed.back() != ' ') {
            collapsed += text[i];
        }
    }
    return collapsed;
}

// The title as one line in full-width characters; empty when there is none.
std::string TitleName(const std::vector<uint8_t>& iconSys)
{
    if (iconSys.size() < kShortestIconSys) {
        return std::string();
    }
    const auto* title = reinterpret_cast<const char*>(iconSys.data() + kTitleBegin);
    const void* nul = std::memchr(title, 0, kTitleEnd - kTitleBegin);
    const size_t length = nul == nullptr ? kTitleEnd - kTitleBegin : static_cast<size_t>(static_cast<const char*>(nul) - title);
    const std::string oneLine = CollapseSpaces(ToHalfWidth(SjisToUtf8(std::string_view(title, length))));
    return oneLine.empty() ? std::string() : ToFullWidth(oneLine);
}

}  // namespace

// Full width turns '/', '\' and every other ASCII character into its wide
// form, so no title can name a path outside the target folder.
std::string SaveFilePSU::TargetName(const FileList& files)
{
    std::string base;
    const auto iconSys = std::find_if(files.begin(), files.end(), [](const auto& file) { return file->name == "icon.sys"; });
    if (iconSys != files.end()) {
        base = TitleName((*iconSys)->data);
    }
    if (base.empty()) {
        base = kDamagedName;
    }
    return ToFullWidth(base) + ".psu";
}

bool SaveFilePSU::Save(const std::string& path)
{
    written.clear();
    if (saves.empty() || !IsDirectory(path)) {
        return false;
    }
    bool allWritten = true;
    for (const auto& [saveName, files] : saves) {
        if (!IsSafeName(saveName)) {
            Log(kUnsafeOnSave + path + " : " + SjisToUtf8(saveName));
            allWritten = false;
            continue;
        }
        if (saveName.size() > kLongestName) {
            Log(kNameTooLong + path + " : " + SjisToUtf8(saveName));
            allWritten = false;
            continue;
        }
        const std::string target = JoinPath(path, TargetName(files));
        // A name that cannot stand in the entry is never cut (it would come
        // back as another file), and a save without one of its files is no
        // copy of it: such a save is not written at all.
        std::vector<const FILE_DATA*> contents;
        for (const auto& file : files) {
            if (!IsSafeName(file->name)) {
                Log(kUnsafeOnSave + target + " : " + SjisToUtf8(file->name));
            } else if (file->name.size() > kLongestName) {
                Log(kNameTooLong + target + " : " + SjisToUtf8(file->name));
            } else if (file->data.size() > std::numeric_limits<uint32_t>::max()) {
                Log(kFileTooLarge + target + " : " + SjisToUtf8(file->name));
            } else {
                contents.push_back(file.get());
            }
        }
        if (contents.size() != files.size()) {
            Log(kSaveLeftOut + target);
            allWritten = false;
            continue;
        }

        PendingFile pending(target);
        if (const std::error_code error = pending.Create()) {
            Log(kCreateFailed);
            Log(target);
            LogError(error);
            return false;
        }
        const auto ownTimes = ReadFileTimes(pending.TemporaryPath());
        if (!ownTimes) {
            throw SaveFileError(target, LastError());
        }
        const std::vector<uint8_t> image = MakeImage(saveName, contents, ToCardTime(ownTimes->creation.value_or(ownTimes->lastWrite)),
                                                     ToCardTime(ownTimes->lastWrite));
        if (std::error_code error = pending.Write(image.data(), image.size())) {
            throw SaveFileError(target, error);
        }
        if (std::error_code error = pending.Close()) {
            throw SaveFileError(target, error);
        }
        // Two saves of one title, or a file from an earlier export: what
        // stands there is kept, the new file takes the next free number.
        if (const std::error_code error = pending.CommitUnderFreeName()) {
            Log(kCreateFailed);
            Log(target);
            LogError(error);
            return false;
        }
        written.push_back(pending.CommittedPath());
    }
    return allWritten;
}

bool SaveFilePSU::Load(const std::string& path)
{
    saves.clear();
    skipped = 0;
    if (!IsFile(path)) {
        return false;
    }
    std::vector<uint8_t> bytes;
    if (const std::error_code error = ReadWholeFile(path, bytes, kLargestSave)) {
        if (error == std::errc::file_too_large) {
            Log(kTooLarge + path);
            return false;
        }
        Log(kOpenFailed);
        Log(path);
        LogError(error);
        return false;
    }
    return LoadBytes(bytes, path);
}

bool SaveFilePSU::LoadBytes(std::span<const uint8_t> bytes, const std::string& path)
{
    saves.clear();
    skipped = 0;
    EntryReader reader(bytes);
    // The first entry's mode is not checked: homebrew tools write other directory modes.
    PsuEntry directory{};
    if (!reader.Entry(directory)) {
        Log(kEntriesMissing + path);
        return false;
    }
    const std::string saveName = EntryName(directory);
    if (!IsSafeName(saveName)) {
        Log(kUnsafeOnLoad + path + " : " + SjisToUtf8(saveName));
        return false;
    }
    FileList files;

    // The count includes "." and "..". Nothing is reserved for it: each entry
    // read takes 512 bytes of the file, so the end of the file ends a count
    // of 2^31 as quickly as the true one.
    const auto count = static_cast<int32_t>(directory.count);
    for (int32_t i = 0; i < count; ++i) {
        PsuEntry entry{};
        if (!reader.Entry(entry)) {
            Log(kEntriesMissing + path);
            return false;
        }
        if (entry.mode == kDirectoryMode) {
            continue;
        }
        const std::string name = EntryName(entry);
        const uint64_t length = entry.count;
        if (!IsSafeName(name)) {
            Log(kUnsafeOnLoad + path + " : " + SjisToUtf8(name));
            ++skipped;
            if (!reader.SkipData(length)) {
                Log(kLengthPastEnd + path + " : " + SjisToUtf8(name));
                return false;
            }
            continue;
        }
        auto file = std::make_shared<FILE_DATA>();
        file->name = name;
        file->creationTime = EntryTime(entry.created, path);
        file->lastAccessTime = file->creationTime;
        file->lastWriteTime = EntryTime(entry.modified, path);
        file->attribute = 0;
        if (!reader.Data(length, file->data)) {
            Log(kLengthPastEnd + path + " : " + SjisToUtf8(name));
            return false;
        }
        files.push_back(std::move(file));
    }
    SortByFileOrder(files);
    saves[saveName] = std::move(files);
    return true;
}
