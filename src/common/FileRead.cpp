#include "common/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/FileDescriptor.h"
#include "common/Log.h"

namespace {

std::error_code LastError() { return std::error_code(errno, std::generic_category()); }

// Opens path for reading when it is a regular file. O_NONBLOCK: opening a
// named pipe must not wait for a writer that never comes. Other readers and
// writers are never locked out on this system.
std::error_code OpenRegular(const std::string& path, int flags, FileDescriptor& file, struct stat& status)
{
    file = FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | flags));
    if (!file.valid()) {
        return LastError();
    }
    std::error_code error;
    if (::fstat(file.get(), &status) != 0) {
        error = LastError();
    } else if (!S_ISREG(status.st_mode)) {
        error = std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
    }
    if (error) {
        file = FileDescriptor();
    }
    return error;
}

std::error_code OpenRegularFile(const std::string& path, FileDescriptor& file, struct stat& status)
{
    return OpenRegular(path, 0, file, status);
}

}  // namespace

std::error_code ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    FileDescriptor file;
    struct stat status {};
    if (std::error_code error = OpenRegularFile(path, file, status)) {
        return error;
    }
    // The size is only a hint: the file may change while it is read.
    bytes.resize(static_cast<size_t>(std::max<off_t>(status.st_size, 0)) + 1);
    size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            bytes.resize(bytes.size() * 2);
        }
        const ssize_t count = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            const std::error_code error = LastError();
            bytes.clear();
            return error;
        }
        if (count == 0) {
            break;
        }
        filled += static_cast<size_t>(count);
    }
    bytes.resize(filled);
    return {};
}

FileHead ReadFileHead(const std::string& path, size_t limit)
{
    FileHead head;
    FileDescriptor file;
    struct stat status {};
    if ((head.openError = OpenRegularFile(path, file, status))) {
        return head;
    }
    head.length = static_cast<uint64_t>(status.st_size);

    head.bytes.resize(limit);
    size_t filled = 0;
    while (filled < limit) {
        const ssize_t count = ::read(file.get(), head.bytes.data() + filled, limit - filled);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        filled += static_cast<size_t>(count);
    }
    head.bytes.resize(filled);
    return head;
}

std::error_code OpenFileToCopy(const std::string& path, FileDescriptor& file, struct stat& status)
{
    file = FileDescriptor();
    // Looked at before opening too: opening a device can act on it (a tape
    // rewinds), and nothing but a regular file is ever wanted here.
    if (::lstat(path.c_str(), &status) != 0) {
        return LastError();
    }
    if (S_ISLNK(status.st_mode)) {
        return std::make_error_code(std::errc::too_many_symbolic_link_levels);
    }
    if (!S_ISREG(status.st_mode)) {
        return std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
    }
    // The name may have been swapped for something else since: the open
    // itself follows no link and waits on nothing.
    return OpenRegular(path, O_NOFOLLOW, file, status);
}

bool LogRefusedKind(const std::error_code& error, const std::string& where)
{
    if (error == std::errc::too_many_symbolic_link_levels) {
        Log("エラー : シンボリックリンクはたどりません " + where);
        return true;
    }
    if (error == std::errc::is_a_directory || error == std::errc::invalid_argument) {
        Log("エラー : 通常のファイルではないため開きませんでした " + where);
        return true;
    }
    return false;
}
