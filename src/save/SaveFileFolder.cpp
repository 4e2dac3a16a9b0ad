#include "save/SaveFileFolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <set>

#include "common/FileDescriptor.h"
#include "common/FileHelpers.h"
#include "common/FileRead.h"
#include "common/FileStatus.h"
#include "common/Log.h"
#include "common/PendingFile.h"
#include "common/SystemError.h"
#include "common/TextCodec.h"

namespace {

const std::string kCreateFailed = "ファイルの作成に失敗しました : ";
const std::string kFolderFailed = "エラー : フォルダを作成できませんでした SaveFileFolder::Save() ";
const std::string kKeepFailed = "エラー : 既存のセーブデータを退避できませんでした SaveFileFolder::Save() ";
const std::string kUnsafeName = "エラー : 不正なファイル名をスキップしました SaveFileFolder::Save() ";
const std::string kSameName = "エラー : 同じ名前になるファイルが複数あるため後のものを書き込みませんでした SaveFileFolder::Save() ";
const std::string kNotRegular = "エラー : 通常のファイルではないため読み込みませんでした SaveFileFolder::Load() ";
const std::string kLinkedFolder = "エラー : セーブフォルダがリンクのため読み込みませんでした SaveFileFolder::Load() ";
const std::string kTooLarge = "エラー : セーブデータが大きすぎるため読み込みませんでした SaveFileFolder::Load() ";

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
    // The true reason (a folder that is read-only, a name too long): each
    // file would otherwise fail with "no such file" and hide it.
    if (::mkdir(directory.c_str(), 0777) != 0) {
        Log(kFolderFailed + directory);
        LogLastError();
        return false;
    }
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
    written.clear();
    if (saves.empty() || !IsDirectory(path)) {
        return false;
    }
    // Every file left out or not written makes the whole call fail; the
    // others are still written.
    bool allSaved = true;
    for (const auto& [saveName, files] : saves) {
        if (!IsSafeName(saveName)) {
            Log(kUnsafeName + path + " : " + SjisToUtf8(saveName));
            allSaved = false;
            continue;
        }
        const std::string directory = JoinPath(path, SjisToUtf8(saveName));
        if (!MakeSaveDirectory(directory)) {
            allSaved = false;
            continue;
        }
        written.push_back(directory);
        // Two names of a container can be one name on the PC (bytes that are no Shift-JIS all
        // decode alike): the second would replace the first.
        std::set<std::string> taken;
        for (const auto& file : files) {
            if (!IsSafeName(file->name)) {
                Log(kUnsafeName + directory + " : " + SjisToUtf8(file->name));
                allSaved = false;
                continue;
            }
            if (!taken.insert(SjisToUtf8(file->name)).second) {
                Log(kSameName + directory + " : " + SjisToUtf8(file->name));
                allSaved = false;
                continue;
            }
            const std::string filePath = JoinPath(directory, SjisToUtf8(file->name));
            PendingFile pending(filePath);
            if (const std::error_code error = pending.Create()) {
                Log(kCreateFailed + filePath);
                LogError(error);
                allSaved = false;
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
                allSaved = false;
            }
        }
    }
    return allSaved;
}

bool SaveFileFolder::Load(const std::string& path)
{
    saves.clear();
    skipped = 0;
    // The save folder itself is no link either: a link would take the export
    // to whatever folder it names.
    struct stat folderStatus {};
    if (::lstat(path.c_str(), &folderStatus) == 0 && S_ISLNK(folderStatus.st_mode)) {
        Log(kLinkedFolder + path);
        return false;
    }
    if (!IsDirectory(path)) {
        return false;
    }
    const size_t slash = path.rfind('/');
    const std::string saveName = CardName(slash == std::string::npos ? path : path.substr(slash + 1));
    FileList files;

    std::error_code listError;
    const std::vector<DirectoryEntry> entries = ListDirectory(path, &listError);
    if (listError) {
        throw SaveFileError(path, listError);
    }
    uint64_t total = 0;
    for (const DirectoryEntry& entry : entries) {
        const std::string filePath = JoinPath(path, entry.name);
        // Only the file the name itself holds: a link would put any file the
        // user can read into the save, a pipe would wait for a writer forever.
        FileDescriptor opened;
        struct stat status {};
        if (const std::error_code error = OpenRegularFile(filePath, opened, &status)) {
            // A folder inside a save is no file of it (a link to one is a link).
            if (error == std::errc::is_a_directory) {
                continue;
            }
            if (error == std::errc::too_many_symbolic_link_levels || error == std::errc::invalid_argument) {
                Log(kNotRegular + filePath);
                return false;
            }
            throw SaveFileError(filePath, error);
        }
        if (static_cast<uint64_t>(status.st_size) > kLargestSave - total) {
            Log(kTooLarge + path);
            return false;
        }
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
        // Held to what is left of the limit even when the file grows meanwhile.
        if (std::error_code error = ReadWholeFile(opened, file->data, kLargestSave - total)) {
            if (error == std::errc::file_too_large) {
                Log(kTooLarge + path);
                return false;
            }
            throw SaveFileError(filePath, error);
        }
        total += file->data.size();
        files.push_back(std::move(file));
    }
    SortByFileOrder(files);
    saves[saveName] = std::move(files);
    return true;
}
