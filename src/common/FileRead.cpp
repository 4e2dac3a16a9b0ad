#include "common/FileRead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/FileDescriptor.h"

namespace {

std::error_code LastError() { return std::error_code(errno, std::generic_category()); }

// Opens path for reading when it is a regular file. O_NONBLOCK: opening a
// named pipe must not wait for a writer that never comes. Other readers and
// writers are never locked out on this system.
std::error_code OpenRegularFile(const std::string& path, FileDescriptor& file, struct stat& status)
{
    file = FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!file.valid()) {
        return LastError();
    }
    if (::fstat(file.get(), &status) != 0) {
        return LastError();
    }
    if (!S_ISREG(status.st_mode)) {
        return std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory : std::errc::invalid_argument);
    }
    return {};
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
