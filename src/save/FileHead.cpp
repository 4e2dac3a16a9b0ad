#include "save/FileHead.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    ~FileDescriptor()
    {
        if (fd >= 0) {
            close(fd);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd; }

private:
    int fd;
};

std::error_code LastError() { return std::error_code(errno, std::generic_category()); }

}  // namespace

FileHead ReadFileHead(const std::string& path, size_t limit)
{
    FileHead head;
    // O_NONBLOCK: opening a named pipe must not wait for a writer that never comes.
    // Other readers and writers are never locked out on this system.
    const FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        head.openError = LastError();
        return head;
    }
    struct stat status {};
    if (fstat(file.get(), &status) != 0) {
        head.openError = LastError();
        return head;
    }
    if (!S_ISREG(status.st_mode)) {
        head.openError = std::make_error_code(S_ISDIR(status.st_mode) ? std::errc::is_a_directory
                                                                       : std::errc::invalid_argument);
        return head;
    }
    head.length = static_cast<uint64_t>(status.st_size);

    head.bytes.resize(limit);
    size_t filled = 0;
    while (filled < limit) {
        const ssize_t count = read(file.get(), head.bytes.data() + filled, limit - filled);
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
