#include "save/SaveFileFolder.h"

#include <sys/stat.h>

#include <cerrno>

#include "common/FileHelpers.h"
#include "common/FileRead.h"
#include "common/FileStatus.h"
#include "common/Log.h"
#include "common/PendingFile.h"
#include "common/TextCodec.h"

namespace {

const std::string kCreateFailed = "ファイルの作成に失敗しました : ";
const std::string kKeepFailed = "エラー : 既存のセーブデータを退避できませんでした SaveFileFolder::Save() ";
const std::string kUnsafeName = "エラー : 不正なファイル名をスキップしました SaveFileFolder::Save() ";

std::error_code LastError() { return std::error_code(errno, std::generic_category()); }

// A PC name becomes a card name in Shift-JIS; bytes that are no UTF-8 at all
// are already in the card's form.
std::string CardName(const std::string& pcName) { return IsValidUtf8(pcName) ? Utf8ToSjis(pcName) : pcName; }

// Never into an old save: its files would mix with the new ones and the
// result would be neither. Whatever stands at directory (an old save, a plain
// file) is kept under its backup name, as a copy to the PC keeps it; false
// (logged) when it cannot be kept. A folder that could not be made shows as
// files that cannot be created.
bool MakeSaveDirectory(const std::string& directory)
{
    if (Exists(directory)) {
        if (const std::error_code error = RenameToBackup(directory)) {
            Log(kKeepFailed + directory);
            LogError(error);
            return false;
        }
    }
    ::mkdir(directory.c_str(), 0777);
    return true;
}

// A last-write time of 0 means the record carries no times at all; the
// access and creation times are each set only where the record has one.
void ApplyTimes(const std::string& path, const SaveFileBase::FILE_DATA& file, const std::string& target)
{
    if (file.lastWriteTime == 0) {
        return;
    }
    FileTimes times;
    times.lastWrite = file.lastWriteTime;
    if (file.lastAccessTime != 0) {
        times.lastAccess = file.lastAccessTime;
    } else if (const auto current = ReadFileTimes(path)) {
        times.lastAccess = current->lastAccess;
    }
    if (file.creationTime != 0) {
        times.creation = file.creationTime;
    }
    if (!WriteFileTimes(path, times)) {
        throw SaveFileError(target, LastError());
    }
}

}  // namespace

bool SaveFileFolder::Save(const std::string& path)
{
    if (saves.empty() || !IsDirectory(path)) {
        return false;
    }
    bool allSaved = true;
    for (const auto& [saveName, files] : saves) {
        if (!IsSafeName(saveName)) {
            Log(kUnsafeName + path + " : " + SjisToUtf8(saveName));
            continue;
        }
        const std::string directory = JoinPath(path, SjisToUtf8(saveName));
        if (!MakeSaveDirectory(directory)) {
            allSaved = false;
            continue;
        }
        for (const auto& file : files) {
            if (!IsSafeName(file->name)) {
                Log(kUnsafeName + directory + " : " + SjisToUtf8(file->name));
                continue;
            }
            const std::string filePath = JoinPath(directory, SjisToUtf8(file->name));
            PendingFile pending(filePath);
            if (const std::error_code error = pending.Create()) {
                Log(kCreateFailed + filePath);
                LogError(error);
                continue;
            }
            if (std::error_code error = pending.Write(file->data.data(), file->data.size())) {
                throw SaveFileError(filePath, error);
            }
            if (std::error_code error = pending.Close()) {
                throw SaveFileError(filePath, error);
            }
            // Times before the attribute: a read-only file no longer takes
            // the extended attribute that holds its creation time.
            ApplyTimes(pending.TemporaryPath(), *file, filePath);
            if (!WriteFileAttributes(pending.TemporaryPath(), file->attribute)) {
                throw SaveFileError(filePath, LastError());
            }
            // A folder of the same name is what stops a file from being made here.
            if (const std::error_code error = pending.Commit()) {
                Log(kCreateFailed + filePath);
                LogError(error);
            }
        }
    }
    return allSaved;
}

bool SaveFileFolder::Load(const std::string& path)
{
    if (!IsDirectory(path)) {
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string saveName = CardName(slash == std::string::npos ? path : path.substr(slash + 1));
    saves.clear();
    FileList& files = saves[saveName];

    std::error_code listError;
    const std::vector<DirectoryEntry> entries = ListDirectory(path, &listError);
    if (listError) {
        throw SaveFileError(path, listError);
    }
    for (const DirectoryEntry& entry : entries) {
        if (entry.isDirectory) {
            continue;
        }
        const std::string filePath = JoinPath(path, entry.name);
        auto file = std::make_shared<FILE_DATA>();
        file->name = CardName(entry.name);
        // The times are taken before the read, which may move the access time.
        const auto times = ReadFileTimes(filePath);
        const auto attributes = ReadFileAttributes(filePath);
        if (!times || !attributes) {
            throw SaveFileError(filePath, LastError());
        }
        file->creationTime = times->creation.value_or(0);
        file->lastWriteTime = times->lastWrite;
        file->lastAccessTime = times->lastAccess;
        file->attribute = static_cast<uint8_t>(*attributes);
        if (std::error_code error = ReadWholeFile(filePath, file->data)) {
            throw SaveFileError(filePath, error);
        }
        files.push_back(std::move(file));
    }
    SortByFileOrder(files);
    return true;
}
