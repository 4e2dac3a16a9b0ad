#include "save/SaveFileNPO.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "common/FileHelpers.h"
#include "common/FileRead.h"
#include "common/Log.h"
#include "common/PendingFile.h"
#include "common/TextCodec.h"

namespace {

// The layouts are copied in and out as they lie in the file.
static_assert(std::endian::native == std::endian::little);

#pragma pack(push, 1)
// All numbers little-endian.
struct NpoHeader {
    char magic[8];            // "nPort" and three zero bytes; never checked on reading
    uint32_t entryCount;      // the files and the closing empty entry
    uint32_t iconSysOffset;   // where the bytes of "icon.sys" begin
    uint32_t listIconOffset;  // where the bytes of the list icon begin
    uint32_t reserved;
};
// Each file's entry is directly followed by its bytes, without padding.
struct NpoEntry {
    char name[48];  // NUL-terminated when shorter than the field
    uint32_t length;
    uint32_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(NpoHeader) == 24);
static_assert(sizeof(NpoEntry) == 56);

constexpr char kMagic[8] = {'n', 'P', 'o', 'r', 't', '\0', '\0', '\0'};
constexpr size_t kMaxNameLength = sizeof(NpoEntry::name) - 1;

// The list icon's file name inside icon.sys.
constexpr size_t kListIconNameOffset = 0x104;
constexpr size_t kListIconNameField = 64;

std::string ListIconName(const SaveFileBase::FileList& files)
{
    const auto iconSys = std::find_if(files.begin(), files.end(), [](const auto& file) { return file->name == "icon.sys"; });
    if (iconSys == files.end() || (*iconSys)->data.size() <= kListIconNameOffset) {
        return std::string();
    }
    const auto& data = (*iconSys)->data;
    const auto begin = data.begin() + kListIconNameOffset;
    const auto fieldEnd = begin + static_cast<ptrdiff_t>(std::min(kListIconNameField, data.size() - kListIconNameOffset));
    return std::string(begin, std::find(begin, fieldEnd, uint8_t{0}));
}

// Where the bytes of the first file named `sought` begin; where the closing
// entry begins when no file has that name (an empty name matches nothing).
uint64_t DataOffset(const SaveFileBase::FileList& files, const std::string& sought)
{
    uint64_t offset = sizeof(NpoHeader);
    for (const auto& file : files) {
        offset += sizeof(NpoEntry);
        if (!sought.empty() && file->name == sought) {
            return offset;
        }
        offset += file->data.size();
    }
    return offset;
}

template <typename Layout>
void Append(std::vector<uint8_t>& bytes, const Layout& layout)
{
    const auto* raw = reinterpret_cast<const uint8_t*>(&layout);
    bytes.insert(bytes.end(), raw, raw + sizeof layout);
}

// The file's name without folder and extension, as card bytes.
std::string SaveNameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) {
        name.resize(dot);
    }
    return IsValidUtf8(name) ? Utf8ToSjis(name) : name;
}

void LogUnsafeName(const std::string& where, const std::string& path, const std::string& name)
{
    Log("エラー : 不正なファイル名をスキップしました SaveFileNPO::" + where + " " + path + " : " + SjisToUtf8(name));
}

}  // namespace

bool SaveFileNPO::Build(const FileList& files, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    uint64_t total = sizeof(NpoHeader) + sizeof(NpoEntry);
    for (const auto& file : files) {
        if (file->name.size() > kMaxNameLength || file->data.size() > std::numeric_limits<uint32_t>::max()) {
            return false;
        }
        total += sizeof(NpoEntry) + file->data.size();
    }
    // Every offset in the header is 32 bits wide.
    if (total > std::numeric_limits<uint32_t>::max()) {
        return false;
    }
    bytes.reserve(static_cast<size_t>(total));

    NpoHeader header{};
    std::memcpy(header.magic, kMagic, sizeof kMagic);
    header.entryCount = static_cast<uint32_t>(files.size() + 1);
    header.iconSysOffset = static_cast<uint32_t>(DataOffset(files, "icon.sys"));
    header.listIconOffset = static_cast<uint32_t>(DataOffset(files, ListIconName(files)));
    Append(bytes, header);
    for (const auto& file : files) {
        NpoEntry entry{};
        std::memcpy(entry.name, file->name.data(), file->name.size());
        entry.length = static_cast<uint32_t>(file->data.size());
        Append(bytes, entry);
        bytes.insert(bytes.end(), file->data.begin(), file->data.end());
    }
    Append(bytes, NpoEntry{});
    return true;
}

bool SaveFileNPO::Save(const std::string& path)
{
    written.clear();
    // Unlike the other formats, nothing to write counts as success.
    if (saves.empty()) {
        return true;
    }
    bool allWritten = true;
    for (const auto& [saveName, files] : saves) {
        if (!IsSafeName(saveName)) {
            LogUnsafeName("Save()", path, saveName);
            allWritten = false;
            continue;
        }
        const std::string target = JoinPath(path, SjisToUtf8(saveName) + ".npo");
        // Card names are at most 31 bytes; a longer one would have to be cut,
        // and the save would come back with a file under another name.
        const auto tooLong = std::find_if(files.begin(), files.end(),
                                          [](const auto& file) { return file->name.size() > kMaxNameLength; });
        std::vector<uint8_t> bytes;
        if (tooLong != files.end()) {
            Log("エラー : ファイル名が長すぎるため書き込みませんでした SaveFileNPO::Save() " + target + " : " +
                SjisToUtf8((*tooLong)->name));
            allWritten = false;
            continue;
        }
        if (!Build(files, bytes)) {
            Log("エラー : セーブデータが大きすぎるため書き込みませんでした SaveFileNPO::Save() " + target);
            allWritten = false;
            continue;
        }

        // Two saves of one name in one export, or a file from an earlier
        // one: what stands there is kept, the new file takes the next number.
        PendingFile file(target);
        std::error_code error = file.Create();
        if (!error) {
            if (std::error_code writeError = file.Write(bytes.data(), bytes.size())) {
                throw SaveFileError(target, writeError);
            }
            error = file.CommitUnderFreeName();
        }
        if (error) {
            Log("SaveFileNPO::Save() ファイルを開けませんでした " + target);
            LogError(error);
            return false;
        }
        written.push_back(file.CommittedPath());
    }
    return allWritten;
}

bool SaveFileNPO::Load(const std::string& path)
{
    saves.clear();
    skipped = 0;
    std::vector<uint8_t> bytes;
    if (const std::error_code error = ReadWholeFile(path, bytes, kLargestSave)) {
        if (error == std::errc::file_too_large) {
            Log("エラー : ファイルが大きすぎるため読み込みませんでした SaveFileNPO::Load() " + path);
            return false;
        }
        Log("SaveFileNPO::Load() ファイルを開けませんでした " + path);
        LogError(error);
        return false;
    }
    return LoadBytes(bytes, path);
}

bool SaveFileNPO::LoadBytes(std::span<const uint8_t> bytes, const std::string& path)
{
    saves.clear();
    skipped = 0;
    const std::string saveName = SaveNameOf(path);
    if (!IsSafeName(saveName)) {
        LogUnsafeName("Load()", path, saveName);
        return false;
    }
    // Filled in only when the whole file was read: a file cut short gives nothing.
    FileList files;

    if (bytes.size() < sizeof(NpoHeader)) {
        Log("SaveFileNPO::Load() ヘッダを読めませんでした " + path);
        return false;
    }
    NpoHeader header;
    std::memcpy(&header, bytes.data(), sizeof header);
    bytes = bytes.subspan(sizeof header);

    // The count includes the closing entry, which is not read. Records are
    // added as they are read, never reserved from the count: the file runs out
    // long before a hostile count does.
    const int64_t entries = int64_t{header.entryCount} - 1;
    for (int64_t i = 0; i < entries; ++i) {
        if (bytes.size() < sizeof(NpoEntry)) {
            Log("SaveFileNPO::Load() ファイルヘッダを読めませんでした " + path);
            return false;
        }
        NpoEntry entry;
        std::memcpy(&entry, bytes.data(), sizeof entry);
        bytes = bytes.subspan(sizeof entry);
        if (bytes.size() < entry.length) {
            Log("SaveFileNPO::Load() ファイルを読めませんでした " + path);
            return false;
        }
        const auto data = bytes.first(entry.length);
        bytes = bytes.subspan(entry.length);

        // A name filling the whole field has no NUL: it ends with the field.
        std::string name(entry.name, ::strnlen(entry.name, sizeof entry.name));
        if (!IsSafeName(name)) {
            LogUnsafeName("Load()", path, name);
            ++skipped;
            continue;
        }
        auto record = std::make_shared<FILE_DATA>();
        record->name = std::move(name);
        record->data.assign(data.begin(), data.end());
        record->attribute = 0;
        files.push_back(std::move(record));
    }
    StampFileOrder(files);
    saves[saveName] = std::move(files);
    return true;
}
