#include "cli/InfoCommand.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <span>
#include <string_view>

#include <boost/algorithm/string/case_conv.hpp>
#include <boost/format.hpp>

#include "common/FileHelpers.h"
#include "common/Log.h"
#include "common/TextCodec.h"
#include "common/FileRead.h"
#include "save/IconSys.h"
#include "save/PS1SaveData.h"
#include "save/PS1SaveFileMcr.h"
#include "save/SaveFileFolder.h"
#include "save/SaveFileNPO.h"
#include "save/SaveFilePSU.h"

namespace {

const char* const kOperation = "tansu-cli info";

// The marks each kind of file carries, by offset from its start.
constexpr std::string_view kIconSysMagic = "PS2D";
constexpr std::string_view kNpoMagic = "nPort";
constexpr std::string_view kCardMagic = "MC";
constexpr std::string_view kDexDriveMagic = "123-456-STD";
constexpr std::string_view kVgsMagic = "VgsM";
constexpr uint64_t kPS1BlockSize = 8192;
constexpr uint64_t kCardImageSize = 131072;

// The first three 512-byte entries of a .psu: the save directory, "." and "..".
namespace PsuLayout {
constexpr size_t kEntrySize = 512;
constexpr size_t kModeOffset = 0x000;
constexpr size_t kNameOffset = 0x040;
// Mode bits of a directory that exists; homebrew tools set further bits (0x842F).
constexpr uint16_t kDirectoryBits = 0x8020;
constexpr size_t kHeadSize = 3 * kEntrySize;
}  // namespace PsuLayout

constexpr size_t kHeadSize = PsuLayout::kHeadSize;
static_assert(kHeadSize >= kDexDriveMagic.size() && kHeadSize >= kNpoMagic.size());

enum class Recognised {
    Unknown,
    IconSys,
    Ps2Folder,
    Psu,
    Npo,
    Ps1Save,
    Ps1Card,
};

void LogFailure(const std::string& what, const std::string& path)
{
    Log((boost::format("エラー : %1% %2% : %3%") % what % kOperation % path).str());
}

bool HasAt(std::span<const uint8_t> bytes, size_t offset, std::string_view mark)
{
    return bytes.size() >= offset + mark.size() && std::memcmp(bytes.data() + offset, mark.data(), mark.size()) == 0;
}

bool IsPsuDirectoryEntry(std::span<const uint8_t> bytes, size_t entry, std::string_view name)
{
    const size_t start = entry * PsuLayout::kEntrySize;
    const auto mode = static_cast<uint16_t>(bytes[start + PsuLayout::kModeOffset] |
                                            (bytes[start + PsuLayout::kModeOffset + 1] << 8));
    const size_t nameStart = start + PsuLayout::kNameOffset;
    return (mode & PsuLayout::kDirectoryBits) == PsuLayout::kDirectoryBits &&
           (name.empty() || (HasAt(bytes, nameStart, name) && bytes[nameStart + name.size()] == 0));
}

bool LooksLikePsu(std::span<const uint8_t> head)
{
    return head.size() >= PsuLayout::kHeadSize && IsPsuDirectoryEntry(head, 0, "") &&
           IsPsuDirectoryEntry(head, 1, ".") && IsPsuDirectoryEntry(head, 2, "..");
}

bool LooksLikePS1Save(std::span<const uint8_t> head, uint64_t length)
{
    return length > 0 && length % kPS1BlockSize == 0 && head.size() >= 2 && (head[0] == 'S' || head[0] == 's') &&
           (head[1] == 'C' || head[1] == 'c');
}

// A card image as consoles write it, or after the header of another tool
// (DexDrive, VGS), or any header ending where a whole image begins.
bool LooksLikeCardImage(const std::string& path, std::span<const uint8_t> head, uint64_t length)
{
    if (HasAt(head, 0, kCardMagic) || HasAt(head, 0, kDexDriveMagic) || HasAt(head, 0, kVgsMagic)) {
        return true;
    }
    if (length <= kCardImageSize) {
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    std::array<char, kCardMagic.size()> mark{};
    file.seekg(static_cast<std::streamoff>(length - kCardImageSize));
    file.read(mark.data(), static_cast<std::streamsize>(mark.size()));
    return file && std::string_view(mark.data(), mark.size()) == kCardMagic;
}

std::string LowerExtension(const std::string& path)
{
    return boost::algorithm::to_lower_copy(std::filesystem::path(path).extension().string());
}

// Content first; the extension only for containers whose content shows no mark
// (a .psu cut short still reads as far as it goes).
Recognised Recognise(const std::string& path)
{
    if (IsDirectory(path)) {
        return Recognised::Ps2Folder;
    }
    const FileHead head = ReadFileHead(path, kHeadSize);
    if (head.openError) {
        LogFailure("ファイルを開けませんでした", path);
        LogError(head.openError);
        return Recognised::Unknown;
    }
    if (HasAt(head.bytes, 0, kIconSysMagic)) {
        return Recognised::IconSys;
    }
    if (HasAt(head.bytes, 0, kNpoMagic)) {
        return Recognised::Npo;
    }
    if (LooksLikePsu(head.bytes)) {
        return Recognised::Psu;
    }
    if (LooksLikePS1Save(head.bytes, head.length)) {
        return Recognised::Ps1Save;
    }
    if (LooksLikeCardImage(path, head.bytes, head.length)) {
        return Recognised::Ps1Card;
    }
    const std::string extension = LowerExtension(path);
    if (extension == ".psu") {
        return Recognised::Psu;
    }
    if (extension == ".npo") {
        return Recognised::Npo;
    }
    LogFailure("種類の分からないファイルです", path);
    return Recognised::Unknown;
}

std::optional<int64_t> SetTime(int64_t seconds)
{
    return seconds == 0 ? std::nullopt : std::optional<int64_t>(seconds);
}

// The one save a PS2 container loaded; entries in the loaded order.
bool TakeSave(const SaveFileBase& container, bool withTimes, PathInfo& info, const std::string& path)
{
    if (container.saves.size() != 1) {
        LogFailure("セーブを読み取れませんでした", path);
        return false;
    }
    const auto& [name, files] = *container.saves.begin();
    info.name = SjisToUtf8(name);
    for (const auto& file : files) {
        InfoEntry entry{SjisToUtf8(file->name), file->data.size(), std::nullopt, std::nullopt};
        if (withTimes) {
            entry.created = SetTime(file->creationTime);
            entry.modified = SetTime(file->lastWriteTime);
        }
        info.entries.push_back(std::move(entry));
    }
    return true;
}

bool ReadIconSys(const std::string& path, PathInfo& info)
{
    const IconSys iconSys(path);
    if (!iconSys.valid) {
        LogFailure("icon.sysを読み取れませんでした", path);
        return false;
    }
    info.title = SjisToUtf8(iconSys.title);
    for (const std::string& icon : iconSys.iconFileNames) {
        info.icons.push_back(SjisToUtf8(icon));
    }
    return true;
}

bool ReadPs2Folder(const std::string& path, PathInfo& info)
{
    // The folder's own name names the save: no trailing separator may hide it.
    std::filesystem::path folder = std::filesystem::path(path).lexically_normal();
    if (!folder.has_filename() && folder.has_parent_path()) {
        folder = folder.parent_path();
    }
    SaveFileFolder save;
    if (!save.Load(folder.string())) {
        LogFailure("セーブフォルダを読み取れませんでした", path);
        return false;
    }
    if (!TakeSave(save, true, info, path)) {
        return false;
    }
    const auto& files = save.saves.begin()->second;
    const auto iconSys = std::find_if(files.begin(), files.end(), [](const auto& file) { return file->name == "icon.sys"; });
    if (iconSys != files.end()) {
        const IconSys reader((*iconSys)->data, JoinPath(folder.string(), "icon.sys"));
        if (reader.valid) {
            info.title = SjisToUtf8(reader.title);
        }
    }
    return true;
}

bool ReadContainer(SaveFileBase& container, bool withTimes, const std::string& path, PathInfo& info)
{
    if (!container.Load(path)) {
        LogFailure("コンテナを読み取れませんでした", path);
        return false;
    }
    return TakeSave(container, withTimes, info, path);
}

bool ReadPS1Save(const std::string& path, PathInfo& info)
{
    const PS1SaveData save(path);
    if (!save.valid) {
        LogFailure("PS1セーブデータを読み取れませんでした", path);
        return false;
    }
    info.title = SjisToUtf8(save.title);
    info.frames = static_cast<int>(save.frames.size());
    return true;
}

// The reader gives one item per block of a save, each holding the save up to
// that block; the import writes them in order, so the last of a run is the
// save as it lands on the PC. Shown once, at its whole size.
bool ReadCardImage(const std::string& path, PathInfo& info)
{
    PS1SaveFileMcr image;
    if (!image.Load(path)) {
        LogFailure("メモリーカードイメージを読み取れませんでした", path);
        return false;
    }
    const PS1SaveFileMcr::Item* previous = nullptr;
    for (const PS1SaveFileMcr::Item& item : image.items) {
        const bool continues = previous != nullptr && previous->name == item.name &&
                               item.data.size() > previous->data.size() &&
                               std::equal(previous->data.begin(), previous->data.end(), item.data.begin());
        if (continues) {
            info.entries.back().size = item.data.size();
        } else {
            info.entries.push_back({SjisToUtf8(item.name), item.data.size(), std::nullopt, std::nullopt});
        }
        previous = &item;
    }
    return true;
}

}  // namespace

const char* InfoKindName(InfoKind kind)
{
    switch (kind) {
    case InfoKind::IconSys:
        return "icon.sys";
    case InfoKind::Ps2Folder:
        return "ps2-folder";
    case InfoKind::Psu:
        return "psu";
    case InfoKind::Npo:
        return "npo";
    case InfoKind::Ps1Save:
        return "ps1-save";
    case InfoKind::Ps1Card:
        return "ps1-card";
    }
    return "";
}

bool KindHasTimes(InfoKind kind) { return kind == InfoKind::Ps2Folder || kind == InfoKind::Psu; }

std::optional<PathInfo> ReadPathInfo(const std::string& path)
{
    PathInfo info;
    bool done = false;
    try {
        switch (Recognise(path)) {
        case Recognised::Unknown:
            return std::nullopt;
        case Recognised::IconSys:
            info.kind = InfoKind::IconSys;
            done = ReadIconSys(path, info);
            break;
        case Recognised::Ps2Folder:
            info.kind = InfoKind::Ps2Folder;
            done = ReadPs2Folder(path, info);
            break;
        case Recognised::Psu: {
            info.kind = InfoKind::Psu;
            SaveFilePSU psu;
            done = ReadContainer(psu, true, path, info);
            break;
        }
        case Recognised::Npo: {
            info.kind = InfoKind::Npo;
            SaveFileNPO npo;
            // An .npo carries no times: the reader makes them up to keep the file order.
            done = ReadContainer(npo, false, path, info);
            break;
        }
        case Recognised::Ps1Save:
            info.kind = InfoKind::Ps1Save;
            done = ReadPS1Save(path, info);
            break;
        case Recognised::Ps1Card:
            info.kind = InfoKind::Ps1Card;
            done = ReadCardImage(path, info);
            break;
        }
    } catch (const SaveFileError& error) {
        LogFailure("ファイルの読み込みに失敗しました " + error.path, path);
        LogError(error.error);
        done = false;
    } catch (const std::exception& error) {
        LogFailure(std::string("読み込みを中断しました ") + error.what(), path);
        done = false;
    }
    if (!done) {
        return std::nullopt;
    }
    return info;
}
