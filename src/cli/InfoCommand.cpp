#include "cli/InfoCommand.h"

#include <algorithm>
#include <exception>
#include <filesystem>

#include <boost/format.hpp>

#include "common/FileHelpers.h"
#include "common/FileStatus.h"
#include "common/Log.h"
#include "common/TextCodec.h"
#include "control/SaveInfo.h"
#include "save/FileKind.h"
#include "save/IconSys.h"
#include "save/PS1SaveData.h"
#include "save/PS1SaveFileMcr.h"
#include "save/SaveFileCBS.h"
#include "save/SaveFileFolder.h"
#include "save/SaveFileMAX.h"
#include "save/SaveFileNPO.h"
#include "save/SaveFilePSU.h"
#include "save/SaveFilePSV.h"
#include "save/SaveFileSPS.h"

namespace {

const char* const kOperation = "tansu-cli info";

void LogFailure(const std::string& what, const std::string& path)
{
    Log((boost::format("エラー : %1% %2% : %3%") % what % kOperation % path).str());
}

// The front door says what the path is; the open error and an unknown kind
// are told here, in the words of this command.
FileKind Recognise(const std::string& path)
{
    std::error_code openError;
    const FileKind kind = DetectFileKind(path, &openError);
    if (openError) {
        LogFailure("ファイルを開けませんでした", path);
        LogError(openError);
    } else if (kind == FileKind::Unknown) {
        LogFailure("種類の分からないファイルです", path);
    }
    return kind;
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

// The title of the icon.sys among the loaded save's files, when it is readable.
void TakeTitle(const SaveFileBase& container, const std::string& iconSysPath, PathInfo& info)
{
    const auto& files = container.saves.begin()->second;
    const auto iconSys = std::find_if(files.begin(), files.end(), [](const auto& file) { return file->name == "icon.sys"; });
    if (iconSys != files.end()) {
        const IconSys reader((*iconSys)->data, iconSysPath);
        if (reader.valid) {
            info.title = SjisToUtf8(reader.title);
        }
    }
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
    TakeTitle(save, JoinPath(folder.string(), "icon.sys"), info);
    std::optional<int64_t> time = PcSaveTime(folder.string());
    if (!time) {
        if (const std::optional<FileTimes> own = ReadFileTimes(folder.string())) {
            time = own->lastWrite;
        }
    }
    if (time) {
        info.modified = FormatPaneTime(*time);
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

// The saves of other tools: a PS2 save with its icon.sys title.
template <typename Reader>
bool ReadTradeSave(InfoKind kind, const std::string& path, PathInfo& info)
{
    info.kind = kind;
    Reader container;
    if (!ReadContainer(container, KindHasTimes(kind), path, info)) {
        return false;
    }
    TakeTitle(container, path + ": icon.sys", info);
    return true;
}

// A PS2 save as the other tools' formats give it, or one raw PS1 save with its own title.
bool ReadPsv(const std::string& path, PathInfo& info)
{
    SaveFilePSV psv;
    if (!psv.Load(path)) {
        LogFailure("コンテナを読み取れませんでした", path);
        return false;
    }
    if (!psv.ps1Save) {
        if (!TakeSave(psv, true, info, path)) {
            return false;
        }
        TakeTitle(psv, path + ": icon.sys", info);
        return true;
    }
    const PS1SaveFileMcr::Item& save = *psv.ps1Save;
    info.name = SjisToUtf8(save.name);
    const PS1SaveData header(save.data, save.data.size());
    if (header.valid) {
        info.title = SjisToUtf8(header.title);
    }
    info.entries.push_back({SjisToUtf8(save.name), save.data.size(), std::nullopt, std::nullopt});
    return true;
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
    case InfoKind::Max:
        return "max";
    case InfoKind::Cbs:
        return "cbs";
    case InfoKind::Sps:
        return "sps";
    case InfoKind::Psv:
        return "psv";
    }
    return "";
}

// A .max and an .npo carry none: their readers make times up to keep the file order.
bool KindHasTimes(InfoKind kind)
{
    return kind == InfoKind::Ps2Folder || kind == InfoKind::Psu || kind == InfoKind::Cbs || kind == InfoKind::Sps ||
           kind == InfoKind::Psv;
}

std::optional<PathInfo> ReadPathInfo(const std::string& path)
{
    PathInfo info;
    bool done = false;
    try {
        switch (Recognise(path)) {
        case FileKind::Unknown:
            return std::nullopt;
        case FileKind::IconSys:
            info.kind = InfoKind::IconSys;
            done = ReadIconSys(path, info);
            break;
        case FileKind::SaveFolder:
            info.kind = InfoKind::Ps2Folder;
            done = ReadPs2Folder(path, info);
            break;
        case FileKind::Psu: {
            info.kind = InfoKind::Psu;
            SaveFilePSU psu;
            done = ReadContainer(psu, true, path, info);
            break;
        }
        case FileKind::Npo: {
            info.kind = InfoKind::Npo;
            SaveFileNPO npo;
            // An .npo carries no times: the reader makes them up to keep the file order.
            done = ReadContainer(npo, false, path, info);
            break;
        }
        case FileKind::PS1Save:
            info.kind = InfoKind::Ps1Save;
            done = ReadPS1Save(path, info);
            break;
        case FileKind::PS1CardImage:
            info.kind = InfoKind::Ps1Card;
            done = ReadCardImage(path, info);
            break;
        case FileKind::Max:
            done = ReadTradeSave<SaveFileMAX>(InfoKind::Max, path, info);
            break;
        case FileKind::Cbs:
            done = ReadTradeSave<SaveFileCBS>(InfoKind::Cbs, path, info);
            break;
        case FileKind::Sps:
            done = ReadTradeSave<SaveFileSPS>(InfoKind::Sps, path, info);
            break;
        case FileKind::Psv:
            info.kind = InfoKind::Psv;
            done = ReadPsv(path, info);
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
