#include "card/MemoryCardUSBMemory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <system_error>

#include "card/MemoryCardOwner.h"
#include "card/ParseMode.h"
#include "common/DriveType.h"
#include "common/FileDescriptor.h"
#include "common/FileHelpers.h"
#include "common/FileStatus.h"
#include "common/Log.h"
#include "common/PcFileMoves.h"

namespace {

// Opens a file to copy; false when it cannot be, logged when it was refused
// for what it is (a link, a pipe, a folder).
bool OpenFile(const std::string& path, const char* operation, const std::string& name, FileDescriptor& file,
              struct stat& status)
{
    return !OpenToCopy(path, file, status, std::string("MemoryCardUSBMemory::") + operation + "() " + name);
}

// How an entry is listed, its links not followed: a link is no directory
// and nothing to read, whatever it points at; nor is a pipe or a device.
const char* ModeOf(const struct stat& status)
{
    if (S_ISDIR(status.st_mode)) {
        return "d---------";
    }
    if (S_ISREG(status.st_mode)) {
        return "-rwxrwxrwx";
    }
    return S_ISLNK(status.st_mode) ? "l---------" : "----------";
}

bool IsLink(const std::string& path)
{
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

void LogLinkNotEntered(const char* operation, const std::string& name)
{
    Log(std::string("エラー : シンボリックリンクには入りません MemoryCardUSBMemory::") + operation + "() " + name);
}

}  // namespace

MemoryCardUSBMemory::MemoryCardUSBMemory(MemoryCardOwner* cardOwner) : MemoryCard(cardOwner)
{
    const std::string root = Root();
    if (!root.empty() && IsRemovableDrive(root)) {
        connected = true;
        slotMask = 1;
    }
}

std::string MemoryCardUSBMemory::Root() const
{
    if (owner == nullptr) {
        return std::string();
    }
    std::string root = owner->GetEditText(Edit::UsbFolder);
    // A relative folder would follow the process's current directory, which
    // moves between the program and the PC folders: no root at all is safer.
    if (root.empty() || root.front() != '/') {
        return std::string();
    }
    if (root.back() != '/') {
        root += '/';
    }
    return root;
}

std::string MemoryCardUSBMemory::FullPath(const std::string& name) const
{
    const std::string root = Root();
    if (root.empty()) {
        return std::string();
    }
    return currentDirectory.empty() ? root + name : root + currentDirectory + "/" + name;
}

bool MemoryCardUSBMemory::InRealDirectory(const char* operation) const
{
    if (currentDirectory.empty()) {
        return true;
    }
    const std::string path = Root() + currentDirectory;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return false;
    }
    if (S_ISLNK(status.st_mode)) {
        LogLinkNotEntered(operation, currentDirectory);
        return false;
    }
    return S_ISDIR(status.st_mode);
}

// A save is a real directory of the card folder: a link to a folder is not
// entered, or deleting the save's files would delete that folder's.
bool MemoryCardUSBMemory::SetCurrentDirectory(const std::string& directory)
{
    if (directory.empty()) {
        currentDirectory.clear();
        return true;
    }
    const std::string root = Root();
    if (root.empty() || !IsPlainName(directory)) {
        return false;
    }
    struct stat status {};
    if (::lstat((root + directory).c_str(), &status) != 0) {
        return false;
    }
    if (S_ISLNK(status.st_mode)) {
        LogLinkNotEntered("SetCurrentDirectory", directory);
        return false;
    }
    if (!S_ISDIR(status.st_mode)) {
        return false;
    }
    currentDirectory = directory;
    return true;
}

std::vector<FtpClient::FILE_DATA> MemoryCardUSBMemory::List()
{
    lastListFailed = true;
    std::vector<FtpClient::FILE_DATA> entries;
    const std::string root = Root();
    if (root.empty() || !InRealDirectory("List")) {
        return entries;
    }
    const std::string folder = root + currentDirectory;
    std::error_code error;
    const std::vector<DirectoryEntry> found = ListDirectory(folder, &error);
    if (error) {
        return entries;
    }
    entries.reserve(64);
    for (const DirectoryEntry& item : found) {
        struct stat status {};
        if (::lstat(JoinPath(folder, item.name).c_str(), &status) != 0) {
            continue;  // gone since it was listed
        }
        FtpClient::FILE_DATA entry;
        ParseMode(ModeOf(status), entry);
        entry.size = S_ISREG(status.st_mode) ? static_cast<uint32_t>(static_cast<uint64_t>(status.st_size) & 0xFFFFFFFFu)
                                             : 0;
        entry.time = static_cast<int64_t>(status.st_mtim.tv_sec);
        entry.name = item.name;
        entries.push_back(std::move(entry));
    }
    lastListFailed = false;
    return entries;
}

bool MemoryCardUSBMemory::Remove(const std::string& name)
{
    // unlink never follows a link at the end of a path; the directory is checked here.
    const std::string path = FullPath(name);
    return IsPlainName(name) && !path.empty() && InRealDirectory("Remove") && ::unlink(path.c_str()) == 0;
}

bool MemoryCardUSBMemory::Put(const std::string& name)
{
    const std::string root = Root();
    std::string pc;
    if (WorkingFolderFile(name, pc) || root.empty()) {
        return false;
    }
    FileDescriptor in;
    struct stat status {};
    if (!OpenFile(pc, "Put", name, in, status) || !InRealDirectory("Put")) {
        return false;
    }
    return !CopyReplacing(in, status, JoinPath(root + currentDirectory, name));
}

bool MemoryCardUSBMemory::Get(const std::string& name)
{
    const std::string path = FullPath(name);
    std::string pc;
    if (WorkingFolderFile(name, pc) || path.empty() || !InRealDirectory("Get")) {
        return false;
    }
    FileDescriptor in;
    struct stat status {};
    if (!OpenFile(path, "Get", name, in, status)) {
        return false;
    }
    return !CopyReplacing(in, status, pc);
}

bool MemoryCardUSBMemory::RemoveDirectory(const std::string& name)
{
    const std::string root = Root();
    if (!IsPlainName(name) || root.empty()) {
        return false;
    }
    // rmdir would refuse a link as well; the log says why nothing was removed.
    if (IsLink(root + name)) {
        LogLinkNotEntered("RemoveDirectory", name);
        return false;
    }
    return ::rmdir((root + name).c_str()) == 0;
}

bool MemoryCardUSBMemory::MakeDirectory(const std::string& name)
{
    const std::string root = Root();
    return IsPlainName(name) && !root.empty() && ::mkdir((root + name).c_str(), 0777) == 0;
}
