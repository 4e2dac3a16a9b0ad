#include "common/FileHelpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/SystemError.h"

namespace {

bool Stat(const std::string& path, struct stat& status) { return ::stat(path.c_str(), &status) == 0; }

}  // namespace

std::string BackupName(const std::string& path)
{
    for (int i = 0; i <= 999; ++i) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, ".%03d", i);
        std::string candidate = path + suffix;
        if (!Exists(candidate)) {
            return candidate;
        }
    }
    return std::string();
}

std::error_code RenameToBackup(const std::string& path)
{
    const std::string backup = BackupName(path);
    if (backup.empty()) {
        return std::make_error_code(std::errc::file_exists);
    }
    if (::rename(path.c_str(), backup.c_str()) != 0) {
        return LastError();
    }
    return {};
}

// The check and the rename are one step where the file system can do that, so
// that another writer's file that appears meanwhile is never replaced. Some
// (network mounts) cannot: there a hard link does the same; a stick's FAT has
// neither, and there only the short gap between the check and the rename stays.
std::error_code RenameWithoutReplacing(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return {};
    }
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
        return LastError();
    }
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return {};
    }
    if (errno == EEXIST || Exists(to)) {
        return std::make_error_code(std::errc::file_exists);
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        return LastError();
    }
    return {};
}

std::string NumberedName(const std::string& path, int number)
{
    if (number < 0 || number > 999) {
        return path;
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%03d", number);
    const size_t slash = path.rfind('/');
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    // A leading dot starts a hidden name, not an extension.
    if (dot == std::string::npos || dot <= nameStart) {
        return path + suffix;
    }
    return path.substr(0, dot) + suffix + path.substr(dot);
}

bool IsFile(const std::string& path)
{
    struct stat status {};
    return Stat(path, status) && S_ISREG(status.st_mode);
}

bool IsDirectory(const std::string& path)
{
    struct stat status {};
    return Stat(path, status) && S_ISDIR(status.st_mode);
}

bool Exists(const std::string& path)
{
    struct stat status {};
    // A dangling link still occupies the name.
    return Stat(path, status) || ::lstat(path.c_str(), &status) == 0;
}

bool IsPlainName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0\r\n", 4)) == std::string_view::npos;
}

std::string JoinPath(const std::string& directory, const std::string& name)
{
    if (directory.empty()) {
        return name;
    }
    if (directory.back() == '/') {
        return directory + name;
    }
    return directory + "/" + name;
}
