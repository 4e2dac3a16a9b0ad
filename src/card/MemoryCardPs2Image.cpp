#include "card/MemoryCardPs2Image.h"

#include "common/FileHelpers.h"
#include "common/Log.h"

namespace {

const char* const kClass = "MemoryCardPs2Image";

}  // namespace

MemoryCardPs2Image::MemoryCardPs2Image(MemoryCardOwner* cardOwner, const std::string& imagePath)
    : MemoryCardImage(cardOwner, imagePath, kClass)
{
    Connect();
}

bool MemoryCardPs2Image::Parse(std::vector<uint8_t> bytes, std::string& why) { return ParseInto(card, std::move(bytes), why); }

bool MemoryCardPs2Image::SetCurrentDirectory(const std::string& directory)
{
    if (directory.empty()) {
        currentDirectory.clear();
        return true;
    }
    std::vector<std::string> damage;
    if (!IsPlainName(directory) || !Refresh("SetCurrentDirectory") || !card->List(directory, damage)) {
        return false;
    }
    currentDirectory = directory;
    return true;
}

std::vector<FtpClient::FILE_DATA> MemoryCardPs2Image::List()
{
    lastListFailed = true;
    std::vector<FtpClient::FILE_DATA> entries;
    if (!Refresh("List")) {
        return entries;
    }
    std::vector<std::string> damage;
    const auto listed = card->List(currentDirectory, damage);
    for (const std::string& why : damage) {
        LogFailure("警告 : メモリーカードイメージの壊れた部分を読み飛ばしました", "List", currentDirectory, why);
    }
    if (!listed) {
        return entries;
    }
    for (const Ps2CardImage::Entry& item : *listed) {
        // A name that could reach outside the PC folder is never handed on.
        if (!IsPlainName(item.name)) {
            LogFailure("警告 : 使えない名前の項目を読み飛ばしました", "List", item.name, std::string());
            continue;
        }
        FtpClient::FILE_DATA entry;
        entry.isDirectory = item.IsDirectory();
        // The card's own read, write and execute bits, for every group.
        const auto bits = static_cast<uint8_t>(item.mode & (Ps2Card::kModeRead | Ps2Card::kModeWrite | Ps2Card::kModeExecute));
        entry.ownerMode = entry.groupMode = entry.otherMode = bits;
        entry.size = item.IsDirectory() ? 0 : item.length;
        entry.time = item.modified;
        entry.name = item.name;
        entries.push_back(std::move(entry));
    }
    lastListFailed = false;
    return entries;
}

bool MemoryCardPs2Image::Remove(const std::string& name)
{
    return ChangeCard(card, "Remove", name, [&](Ps2CardImage& copy, std::string& why) {
        return copy.RemoveFile(currentDirectory, name, Now(), why);
    });
}

bool MemoryCardPs2Image::Put(const std::string& name)
{
    if (!IsPlainName(name) || !Refresh("Put")) {
        return false;
    }
    PcFile file;
    if (!ReadPcFile(name, card->Capacity(), "Put", file)) {
        return false;
    }
    return ChangeCard(card, "Put", name, [&](Ps2CardImage& copy, std::string& why) {
        return copy.WriteFile(currentDirectory, name, file.bytes, file.created, file.modified, Now(), why);
    });
}

bool MemoryCardPs2Image::Get(const std::string& name)
{
    if (!IsPlainName(name) || !Refresh("Get")) {
        return false;
    }
    std::string why;
    Ps2CardImage::Entry entry;
    const std::optional<std::vector<uint8_t>> data = card->ReadFile(currentDirectory, name, why, &entry);
    if (!data) {
        // A file that simply is not there is asked for routinely (icon.sys of a PS1 save).
        if (why != "no such file" && why != "no such directory") {
            LogFailure("エラー : メモリーカードイメージのファイルを読めませんでした", "Get", name, why);
        }
        return false;
    }
    return WritePcFile(name, *data, entry.modified, "Get");
}

bool MemoryCardPs2Image::RemoveDirectory(const std::string& name)
{
    return IsPlainName(name) && ChangeCard(card, "RemoveDirectory", name, [&](Ps2CardImage& copy, std::string& why) {
               return copy.RemoveDirectory(name, Now(), why);
           });
}

bool MemoryCardPs2Image::MakeDirectory(const std::string& name)
{
    // Like mkdir, an existing name fails quietly: copies onto a save ask for it first.
    std::vector<std::string> damage;
    if (!IsPlainName(name) || !Refresh("MakeDirectory") || card->List(name, damage)) {
        return false;
    }
    return ChangeCard(card, "MakeDirectory", name, [&](Ps2CardImage& copy, std::string& why) {
               return copy.MakeDirectory(name, Now(), why);
           });
}
