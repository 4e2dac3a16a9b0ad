#include "common/FileRead.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/Log.h"
#include "common/SystemError.h"

namespace {

// O_NONBLOCK: opening a named pipe must not wait for a writer that never
// comes. Other readers and writers are never locked out on this system.
std::error_code Open(const std::string& path, int flags, FileDescriptor& file, struct stat& status)
{
    file = FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | flags));
    if (!file.valid()) {
        return LastError();
    }
    if (::fstat(file.get(), &status) != 0) {
        return LastError();
    }
    if (!S_ISREG(status.st_mode)) {
        file = FileDescriptor();
        return std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
    }
    return {};
}

}  // namespace

std::error_code OpenRegularFile(const std::string& path, FileDescriptor& file, struct stat* status)
{
    file = FileDescriptor();
    struct stat own {};
    struct stat& found = status != nullptr ? *status : own;
    // Looked at before it is opened: opening a device may already act on it.
    if (::lstat(path.c_str(), &found) != 0) {
        return LastError();
    }
    if (S_ISLNK(found.st_mode)) {
        return std::make_error_code(std::errc::too_many_symbolic_link_levels);
    }
    if (!S_ISREG(found.st_mode)) {
        return std::make_error_code(S_ISDIR(found.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
    }
    // The name may have been given to something else since: the open itself
    // follows no link (O_NOFOLLOW fails with ELOOP) and waits on nothing.
    return Open(path, O_NOFOLLOW, file, found);
}

std::error_code ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, uint64_t limit)
{
    bytes.clear();
    FileDescriptor file;
    struct stat status {};
    if (std::error_code error = Open(path, 0, file, status)) {
        return error;
    }
    return ReadWholeFile(file, bytes, limit);
}

std::error_code ReadWholeFile(const FileDescriptor& file, std::vector<uint8_t>& bytes, uint64_t limit)
{
    bytes.clear();
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return LastError();
    }
    const auto tooLarge = std::make_error_code(std::errc::file_too_large);
    const uint64_t size = static_cast<uint64_t>(std::max<off_t>(status.st_size, 0));
    if (size > limit) {
        return tooLarge;
    }
    // The size is only a hint: the file may change while it is read.
    bytes.resize(static_cast<size_t>(size) + 1);
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
        // A file that grows while it is read is held to the same limit.
        if (filled > limit) {
            bytes.clear();
            return tooLarge;
        }
    }
    bytes.resize(filled);
    return {};
}

FileHead ReadFileHead(const std::string& path, size_t limit)
{
    FileHead head;
    FileDescriptor file;
    struct stat status {};
    if ((head.openError = Open(path, 0, file, status))) {
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
