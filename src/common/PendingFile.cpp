#include "common/PendingFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace {

std::error_code LastError() { return std::error_code(errno, std::generic_category()); }

std::string DirectoryOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

}  // namespace

PendingFile::PendingFile(std::string targetPath) : target(std::move(targetPath)) {}

PendingFile::~PendingFile()
{
    static_cast<void>(file.Close());
    if (!committed && !temporary.empty()) {
        ::unlink(temporary.c_str());
    }
}

// A short hidden name of its own beside the target: the rename stays on one
// file system, and a long target name cannot make it too long.
std::error_code PendingFile::Create()
{
    static std::atomic<unsigned> counter{0};
    const std::string directory = DirectoryOf(target);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string candidate = directory + "/.tansu-" + std::to_string(::getpid()) + "-" +
                                      std::to_string(counter++) + ".tmp";
        FileDescriptor created(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (created.valid()) {
            file = std::move(created);
            temporary = candidate;
            return {};
        }
        if (errno != EEXIST) {
            return LastError();
        }
    }
    return std::make_error_code(std::errc::file_exists);
}

std::error_code PendingFile::Write(const void* bytes, size_t length)
{
    const auto* next = static_cast<const uint8_t*>(bytes);
    while (length > 0) {
        const ssize_t written = ::write(file.get(), next, length);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastError();
        }
        next += written;
        length -= static_cast<size_t>(written);
    }
    return {};
}

std::error_code PendingFile::WriteFrom(int source)
{
    std::array<char, 64 * 1024> buffer;
    for (;;) {
        const ssize_t got = ::read(source, buffer.data(), buffer.size());
        if (got == 0) {
            return {};
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return LastError();
        }
        if (const std::error_code error = Write(buffer.data(), static_cast<size_t>(got))) {
            return error;
        }
    }
}

std::error_code PendingFile::Sync()
{
    if (::fsync(file.get()) != 0) {
        return LastError();
    }
    return {};
}

std::error_code PendingFile::Close() { return file.Close(); }

std::error_code PendingFile::Commit()
{
    if (std::error_code error = Close()) {
        return error;
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        return LastError();
    }
    committed = true;
    return {};
}
