#include "card/MemoryCardPs1Image.h"

#include "card/ParseMode.h"
#include "common/FileHelpers.h"
#include "common/Log.h"
#include "save/SaveFileBase.h"

namespace {

const char* const kClass = "MemoryCardPs1Image";

FtpClient::FILE_DATA MakeEntry(const std::string& name, bool directory, uint32_t size)
{
    FtpClient::FILE_DATA entry;
    ParseMode(directory ? "drwxrwxrwx" : "-rwxrwxrwx", entry);
    entry.size = size;
    // A PS1 card keeps no times: 0 says "unknown" wherever a time is shown.
    entry.time = 0;
    entry.name = name;
    return entry;
}

}  // namespace

MemoryCardPs1Image::MemoryCardPs1Image(MemoryCardOwner* cardOwner, const std::string& imagePath)
    : MemoryCardImage(cardOwner, imagePath, kClass)
{
    Connect();
}

bool MemoryCardPs1Image::Parse(std::vector<uint8_t> bytes, std::string& why) { return ParseInto(card, std::move(bytes), why); }

bool MemoryCardPs1Image::HasSave(const std::string& name) const
{
    for (const Ps1CardImage::Save& save : card->Saves()) {
        if (save.name == name) {
            return true;
        }
    }
    return false;
}

bool MemoryCardPs1Image::IsSaveFile(const std::string& name, const char* operation) const
{
    if (currentDirectory.empty() || name != currentDirectory) {
        LogFailure("エラー : PS1のメモリーカードにはセーブと同じ名前のファイルしか置けません", operation, name,
                   currentDirectory.empty() ? "(root)" : currentDirectory);
        return false;
    }
    return true;
}

bool MemoryCardPs1Image::SetCurrentDirectory(const std::string& directory)
{
    if (directory.empty()) {
        currentDirectory.clear();
        return true;
    }
    if (!Refresh("SetCurrentDirectory") || (!HasSave(directory) && emptyDirectories.count(directory) == 0)) {
        return false;
    }
    currentDirectory = directory;
    return true;
}

std::vector<FtpClient::FILE_DATA> MemoryCardPs1Image::List()
{
    lastListFailed = true;
    std::vector<FtpClient::FILE_DATA> entries;
    if (!Refresh("List")) {
        return entries;
    }
    std::vector<std::string> damage;
    const std::vector<Ps1CardImage::Save> saves = card->Saves(&damage);
    for (const std::string& why : damage) {
        LogFailure("警告 : メモリーカードイメージの壊れた部分を読み飛ばしました", "List", currentDirectory, why);
    }
    std::set<std::string> listed;
    for (const Ps1CardImage::Save& save : saves) {
        const bool inside = !currentDirectory.empty();
        if (inside && save.name != currentDirectory) {
            continue;
        }
        // Two saves of one name could not be told apart: the first one stands.
        if (!SaveFileBase::IsSafeName(save.name) || !listed.insert(save.name).second) {
            LogFailure("警告 : 使えない名前か重複した名前のセーブを読み飛ばしました", "List", save.name, std::string());
            continue;
        }
        entries.push_back(MakeEntry(save.name, !inside, inside ? static_cast<uint32_t>(save.blocks.size() * PS1Card::kBlockSize) : 0));
    }
    if (currentDirectory.empty()) {
        for (const std::string& name : emptyDirectories) {
            if (listed.count(name) == 0) {
                entries.push_back(MakeEntry(name, true, 0));
            }
        }
    }
    lastListFailed = false;
    return entries;
}

bool MemoryCardPs1Image::Remove(const std::string& name)
{
    if (!IsSaveFile(name, "Remove") ||
        !ChangeCard(card, "Remove", name, [&](Ps1CardImage& copy, std::string& why) { return copy.Remove(name, why); })) {
        return false;
    }
    emptyDirectories.insert(name);
    return true;
}

bool MemoryCardPs1Image::Put(const std::string& name)
{
    if (!IsPlainName(name) || !IsSaveFile(name, "Put") || !Refresh("Put")) {
        return false;
    }
    PcFile file;
    if (!ReadPcFile(name, PS1Card::kBlockCount * PS1Card::kBlockSize, "Put", file)) {
        return false;
    }
    if (!ChangeCard(card, "Put", name, [&](Ps1CardImage& copy, std::string& why) { return copy.Write(name, file.bytes, why); })) {
        return false;
    }
    emptyDirectories.erase(name);
    return true;
}

bool MemoryCardPs1Image::Get(const std::string& name)
{
    // icon.sys and the like are asked for routinely: not there, quietly.
    if (!IsPlainName(name) || name != currentDirectory || !Refresh("Get")) {
        return false;
    }
    const std::optional<std::vector<uint8_t>> data = card->Read(name);
    return data && WritePcFile(name, *data, 0, "Get");
}

bool MemoryCardPs1Image::RemoveDirectory(const std::string& name)
{
    return emptyDirectories.erase(name) > 0;
}

bool MemoryCardPs1Image::MakeDirectory(const std::string& name)
{
    if (!Refresh("MakeDirectory") || HasSave(name) || emptyDirectories.count(name) > 0) {
        return false;
    }
    if (!Ps1CardImage::IsValidName(name)) {
        LogFailure("エラー : PS1のメモリーカードに置けない名前です", "MakeDirectory", name, "1-20 ASCII");
        return false;
    }
    emptyDirectories.insert(name);
    return true;
}
