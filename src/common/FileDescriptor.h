#pragma once
// Owns one open file descriptor and closes it when it goes out of scope, so
// that no early return can leak one.
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "common/SystemError.h"

class FileDescriptor {
public:
    FileDescriptor() = default;
    // Takes what open() returned, -1 included: valid() then tells.
    explicit FileDescriptor(int opened) noexcept : fd(opened) {}
    ~FileDescriptor()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    FileDescriptor(FileDescriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept
    {
        if (this != &other) {
            FileDescriptor old(std::exchange(fd, std::exchange(other.fd, -1)));
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const noexcept { return fd; }
    bool valid() const noexcept { return fd >= 0; }

    // Closes now and reports the result: a write error the device reports
    // late (a full stick, a network file system) shows only here. Nothing
    // to close is no error.
    std::error_code Close() noexcept
    {
        const int closing = std::exchange(fd, -1);
        if (closing >= 0 && ::close(closing) != 0) {
            return LastError();
        }
        return {};
    }

private:
    int fd = -1;
};
