#include "save/PS1SaveFileMcr.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <optional>
#include <set>
#include <string_view>
#include <system_error>

#include "common/FileHelpers.h"
#include "common/FileRead.h"
#include "common/Log.h"
#include "common/PendingFile.h"
#include "common/TextCodec.h"
#include "save/PS1CardLayout.h"
#include "save/FileKind.h"
#include "save/PS1SaveData.h"
#include "save/SaveFileBase.h"

namespace {

using PS1Card::DirectoryFrame;
using PS1Card::kFirstBlock;
using PS1Card::kFreeBlock;
using PS1Card::kLastBlock;
using PS1Card::kMiddleBlock;
using PS1Card::kCardMark;
using PS1Card::Checksum;
using PS1Card::MakeFrame;
namespace CardLayout = PS1Card;

// The part of a raw save that PS1SaveData examines.
constexpr size_t kRawHeaderSize = 1152;

std::string FrameName(const DirectoryFrame& frame)
{
    // A name filling the whole field has no NUL: it ends with the field.
    return std::string(frame.name, ::strnlen(frame.name, sizeof frame.name));
}

// Deleted saves keep their frames and names until the blocks are reused;
// bringing them back as live saves would resurrect stale or half-overwritten data.
bool IsDeleted(uint8_t state) { return state >= PS1Card::kDeletedFirstBlock && state <= PS1Card::kDeletedLastBlock; }

// At most `limit` bytes, never ending inside a double-byte character.
std::string CutName(const std::string& name, size_t limit)
{
    size_t end = 0;
    while (end < name.size()) {
        const size_t width = IsSjisLeadByte(static_cast<unsigned char>(name[end])) && end + 1 < name.size() ? 2 : 1;
        if (end + width > limit) {
            break;
        }
        end += width;
    }
    return name.substr(0, end);
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Which step of writing a whole file failed: opening the temporary and
// renaming it into place are told apart from the write itself.
enum class WriteStep { Done, Create, Write, Rename };

// keep: what stands at target stays, and the file takes the first free
// numbered name instead; written gets where it went.
WriteStep WriteWholeFile(const std::string& target, std::span<const uint8_t> bytes, bool keep, std::error_code& error,
                         std::string* written = nullptr)
{
    PendingFile file(target);
    if ((error = file.Create())) {
        return WriteStep::Create;
    }
    if ((error = file.Write(bytes.data(), bytes.size())) || (error = file.Close())) {
        return WriteStep::Write;
    }
    if ((error = keep ? file.CommitUnderFreeName() : file.Commit())) {
        return WriteStep::Rename;
    }
    if (written != nullptr) {
        *written = file.CommittedPath();
    }
    return WriteStep::Done;
}

// The image that Save writes; false (after the log line) when the items need
// more blocks than a card has.
bool BuildImage(const std::vector<PS1SaveFileMcr::Item>& items, std::vector<uint8_t>& image)
{
    image.assign(CardLayout::kImageSize, 0);
    uint8_t* header = image.data();
    std::memcpy(header, kCardMark.data(), kCardMark.size());
    header[CardLayout::kFrameSize - 1] = Checksum(header);

    size_t block = 0;
    for (const auto& item : items) {
        // A partial last block is filled with zeros, so that every save starts
        // on the block its frames name.
        const size_t blocks = (item.data.size() + CardLayout::kBlockSize - 1) / CardLayout::kBlockSize;
        if (block + blocks > CardLayout::kBlockCount) {
            Log("PS1SaveFileMcr::Save() : 必要ブロック数が多すぎます");
            return false;
        }
        std::string name = item.name;
        if (name.size() > CardLayout::kMaxNameLength) {
            name = CutName(name, CardLayout::kMaxNameLength);
            Log("警告 : 名前が長すぎるため切り詰めました PS1SaveFileMcr::Save() : " + SjisToUtf8(item.name) + " -> " +
                SjisToUtf8(name));
        }
        const auto size = static_cast<uint32_t>(blocks * CardLayout::kBlockSize);
        for (size_t j = 0; j < blocks; ++j, ++block) {
            const bool last = j + 1 == blocks;
            const uint8_t state = j == 0 ? kFirstBlock : (last ? kLastBlock : kMiddleBlock);
            const int16_t next = last ? int16_t{-1} : static_cast<int16_t>(block + 1);
            const DirectoryFrame frame = MakeFrame(state, size, next, name);
            std::memcpy(image.data() + CardLayout::kDirectoryOffset + block * CardLayout::kFrameSize, &frame, sizeof frame);
        }
        std::copy(item.data.begin(), item.data.end(),
                  image.begin() + static_cast<ptrdiff_t>(CardLayout::kBlocksOffset +
                                                         (block - blocks) * CardLayout::kBlockSize));
    }
    for (; block < CardLayout::kBlockCount; ++block) {
        const DirectoryFrame frame = MakeFrame(kFreeBlock, 0, 0, {});
        std::memcpy(image.data() + CardLayout::kDirectoryOffset + block * CardLayout::kFrameSize, &frame, sizeof frame);
    }
    return true;
}

}  // namespace

bool PS1SaveFileMcr::LoadRaw(const std::string& path)
{
    const std::string notPS1 = "PS1SaveFileMcr::LoadRaw() : PS1セーブデータでない可能性があります : " + path;
    if (!IsFile(path)) {
        Log(notPS1);
        return false;
    }
    // The header decides before the whole file is read.
    const FileHead head = ReadFileHead(path, kRawHeaderSize);
    if (head.openError) {
        Log("PS1SaveFileMcr::LoadRaw() : ファイルを開けませんでした : " + path);
        return false;
    }
    // A card holds 15 blocks; a file far beyond that is refused before it is read.
    if (head.length > kLargestPS1CardFile) {
        Log("エラー : ファイルが大きすぎるため読み込みませんでした PS1SaveFileMcr::LoadRaw() : " + path);
        return false;
    }
    if (head.length % CardLayout::kBlockSize != 0 || !PS1SaveData(head.bytes, head.length).valid) {
        Log(notPS1);
        return false;
    }
    const FileHead file = ReadFileHead(path, static_cast<size_t>(head.length));
    if (file.openError || file.bytes.size() != head.length || file.length != head.length) {
        Log("PS1SaveFileMcr::LoadRaw() : ファイルの読み込みに失敗しました : " + path);
        return false;
    }
    const std::string name = FileNameOf(path);
    items.push_back({IsValidUtf8(name) ? Utf8ToSjis(name) : name, file.bytes});
    return true;
}

bool PS1SaveFileMcr::SaveRaw(const std::string& path)
{
    // A relative name would land wherever the program happens to run.
    if (!IsDirectory(path)) {
        Log("PS1SaveFileMcr::SaveRaw() : 保存先のフォルダがありません : " + path);
        return false;
    }
    bool allWritten = true;
    // A card gives a save of several blocks as one item per block, each
    // replacing the one before: only a file that stood there before this call
    // is an old save, and it is kept under its backup name as a copy to the PC
    // keeps it. A save whose old file cannot be kept is not written at all.
    std::set<std::string> claimed;
    std::set<std::string> refused;
    for (const auto& item : items) {
        const std::string name = SjisToUtf8(item.name);
        if (!SaveFileBase::IsSafeName(item.name)) {
            Log("エラー : 不正なファイル名をスキップしました PS1SaveFileMcr::SaveRaw() " + path + " : " + name);
            allWritten = false;
            continue;
        }
        if (refused.contains(item.name)) {
            continue;
        }
        const std::string target = JoinPath(path, name);
        if (!claimed.contains(item.name) && Exists(target)) {
            if (const std::error_code error = RenameToBackup(target)) {
                Log("エラー : 既存のセーブデータを退避できませんでした PS1SaveFileMcr::SaveRaw() : " + target);
                LogError(error);
                refused.insert(item.name);
                allWritten = false;
                continue;
            }
        }
        claimed.insert(item.name);
        std::error_code error;
        switch (WriteWholeFile(target, item.data, false, error)) {
        case WriteStep::Done:
            break;
        case WriteStep::Create:
        case WriteStep::Rename:
            Log("PS1SaveFileMcr::SaveRaw() : ファイルを開けませんでした : " + target);
            LogError(error);
            return false;
        case WriteStep::Write:
            Log("PS1SaveFileMcr::SaveRaw() : ファイルの書き込みに失敗しました : " + target);
            LogError(error);
            return false;
        }
    }
    return allWritten;
}

bool PS1SaveFileMcr::Load(const std::string& path)
{
    // Only the first kLargestPS1CardFile bytes are read, whatever the file's size.
    const FileHead file = ReadFileHead(path, kLargestPS1CardFile);
    if (file.openError) {
        Log("PS1SaveFileMcr::Load() : ファイルを開けませんでした : " + path);
        return false;
    }
    return LoadImage(file.bytes, file.length, path);
}

bool PS1SaveFileMcr::LoadImage(std::span<const uint8_t> file, const std::string& path)
{
    return LoadImage(file, file.size(), path);
}

bool PS1SaveFileMcr::LoadImage(std::span<const uint8_t> file, uint64_t length, const std::string& path)
{
    // Anything but a card image, read as one, would give junk saves named by
    // whatever bytes stand where a directory would be.
    const std::optional<size_t> offset = PS1CardImageOffset(file, length);
    if (!offset) {
        Log("PS1SaveFileMcr::Load() : メモリーカードイメージでない可能性があります : " + path);
        return false;
    }
    // An image cut short after its last used block (DexDrive writes them so):
    // the missing bytes count as zero.
    std::vector<uint8_t> image(CardLayout::kImageSize, 0);
    if (*offset < file.size()) {
        const size_t available = std::min(file.size() - *offset, CardLayout::kImageSize);
        std::memcpy(image.data(), file.data() + *offset, available);
    }
    std::array<DirectoryFrame, CardLayout::kBlockCount> frames;
    std::memcpy(frames.data(), image.data() + CardLayout::kDirectoryOffset, sizeof frames);

    std::array<bool, CardLayout::kBlockCount> taken{};
    // One item per block of the chain, holding the save up to that block and
    // named after the chain's first frame: consoles name a save only there.
    // A chain ends before a block that does not exist or that a chain already
    // took, so a looping or broken chain cannot run away.
    const auto follow = [&](int head) {
        const std::string name = FrameName(frames[head]);
        const bool safe = SaveFileBase::IsSafeName(name);
        if (!safe) {
            Log("エラー : 不正なファイル名をスキップしました PS1SaveFileMcr::Load() " + path + " : " + SjisToUtf8(name));
            ++skipped;
        }
        std::vector<uint8_t> save;
        for (int block = head; block >= 0 && block < CardLayout::kBlockCount && !taken[block];
             block = frames[block].next) {
            taken[block] = true;
            const auto start = image.begin() + static_cast<ptrdiff_t>(CardLayout::kBlocksOffset + block * CardLayout::kBlockSize);
            save.insert(save.end(), start, start + CardLayout::kBlockSize);
            if (safe) {
                items.push_back({name, save});
            }
        }
    };
    // First blocks are followed before anything else, so that a stray frame
    // lying before a save's later block cannot take that block away.
    for (int i = 0; i < CardLayout::kBlockCount; ++i) {
        if (!taken[i] && frames[i].state == kFirstBlock) {
            follow(i);
        }
    }
    for (int i = 0; i < CardLayout::kBlockCount; ++i) {
        if (!taken[i] && frames[i].state != kFreeBlock && !IsDeleted(frames[i].state)) {
            follow(i);
        }
    }
    return true;
}

bool PS1SaveFileMcr::Save(const std::string& path)
{
    // Built whole before anything is written: an image that cannot hold the
    // items leaves no file behind.
    savedImage.clear();
    std::vector<uint8_t> image;
    if (!BuildImage(items, image)) {
        return false;
    }
    std::error_code error;
    switch (WriteWholeFile(path, image, true, error, &savedImage)) {
    case WriteStep::Done:
        return true;
    case WriteStep::Create:
    case WriteStep::Rename:
        Log("PS1SaveFileMcr::Save() : ファイルを開けませんでした : " + path);
        LogError(error);
        return false;
    case WriteStep::Write:
        break;
    }
    Log("PS1SaveFileMcr::Save() : ファイルの書き込みに失敗しました : " + path);
    LogError(error);
    return false;
}
