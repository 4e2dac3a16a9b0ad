#include "card/MemoryCardUSBMemory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string_view>
#include <system_error>

#include "card/MemoryCardOwner.h"
#include "card/ParseMode.h"
#include "common/DriveType.h"
#include "common/FileDescriptor.h"
#include "common/FileHelpers.h"
#include "common/FileStatus.h"
#include "common/PendingFile.h"

namespace {

// One entry directly inside the card folder. Anything that could lead
// outside it ("..", a separator, a NUL that would cut the path short) is
// refused: the folder is the one the user chose, and nothing is written
// anywhere else.
bool IsPlainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string::npos;
}

std::string CurrentWorkingDirectory()
{
    std::error_code error;
    const std::filesystem::path path = std::filesystem::current_path(error);
    return error ? std::string() : path.string();
}

// Copies the regular file source to directory + '/' + name, replacing what is
// there. The data goes to a temporary file in the same folder first and is
// renamed into place only when complete and flushed: a stick pulled out or a
// full disk midway leaves the old file (or none), never a truncated save
// under the final name. Like the system copy this stands in for, the copy
// keeps the source's permissions and last-write time.
bool CopyFileReplacing(const std::string& source, const std::string& directory, const std::string& name)
{
    const FileDescriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (!in.valid() || ::fstat(in.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }

    PendingFile out(JoinPath(directory, name));
    if (out.Create()) {
        return false;
    }
    if (out.WriteFrom(in.get())) {
        return false;
    }
    // Metadata is a courtesy: some file systems (FAT sticks) refuse
    // permission changes, and that must not fail the copy.
    static_cast<void>(::fchmod(out.Descriptor(), status.st_mode & 0777));
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    static_cast<void>(::futimens(out.Descriptor(), times));
    return !out.Sync() && !out.Commit();
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

bool MemoryCardUSBMemory::SetCurrentDirectory(const std::string& directory)
{
    if (directory.empty()) {
        currentDirectory.clear();
        return true;
    }
    const std::string root = Root();
    if (root.empty() || !IsPlainName(directory) || !IsDirectory(root + directory)) {
        return false;
    }
    currentDirectory = directory;
    return true;
}

std::vector<FtpClient::FILE_DATA> MemoryCardUSBMemory::List()
{
    std::vector<FtpClient::FILE_DATA> entries;
    const std::string root = Root();
    if (root.empty()) {
        return entries;
    }
    std::error_code error;
    const std::vector<DirectoryEntry> found = ListDirectory(root + currentDirectory, &error);
    if (error) {
        return entries;
    }
    entries.reserve(64);
    for (const DirectoryEntry& item : found) {
        FtpClient::FILE_DATA entry;
        ParseMode(item.isDirectory ? "d---------" : "-rwxrwxrwx", entry);
        entry.size = static_cast<uint32_t>(item.size & 0xFFFFFFFFu);
        entry.time = item.lastWrite;
        entry.name = item.name;
        entries.push_back(std::move(entry));
    }
    return entries;
}

bool MemoryCardUSBMemory::Remove(const std::string& name)
{
    const std::string path = FullPath(name);
    return IsPlainName(name) && !path.empty() && ::unlink(path.c_str()) == 0;
}

bool MemoryCardUSBMemory::Put(const std::string& name)
{
    const std::string root = Root();
    const std::string pc = CurrentWorkingDirectory();
    if (!IsPlainName(name) || root.empty() || pc.empty()) {
        return false;
    }
    return CopyFileReplacing(JoinPath(pc, name), root + currentDirectory, name);
}

bool MemoryCardUSBMemory::Get(const std::string& name)
{
    const std::string path = FullPath(name);
    const std::string pc = CurrentWorkingDirectory();
    if (!IsPlainName(name) || path.empty() || pc.empty()) {
        return false;
    }
    return CopyFileReplacing(path, pc, name);
}

bool MemoryCardUSBMemory::RemoveDirectory(const std::string& name)
{
    const std::string root = Root();
    return IsPlainName(name) && !root.empty() && ::rmdir((root + name).c_str()) == 0;
}

bool MemoryCardUSBMemory::MakeDirectory(const std::string& name)
{
    const std::string root = Root();
    return IsPlainName(name) && !root.empty() && ::mkdir((root + name).c_str(), 0777) == 0;
}
