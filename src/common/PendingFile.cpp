#include "common/PendingFile.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <utility>

#include "common/FileHelpers.h"
#include "common/Log.h"
#include "common/SystemError.h"

namespace {

constexpr std::string_view kTemporaryPrefix = ".tansu-";
constexpr std::string_view kTemporarySuffix = ".tmp";

// The writer's process id in a temporary's name; empty for any other name.
std::optional<pid_t> WriterOf(std::string_view name)
{
    if (!name.starts_with(kTemporaryPrefix) || !name.ends_with(kTemporarySuffix)) {
        return std::nullopt;
    }
    const std::string_view middle =
        name.substr(kTemporaryPrefix.size(), name.size() - kTemporaryPrefix.size() - kTemporarySuffix.size());
    const size_t dash = middle.find('-');
    if (dash == std::string_view::npos) {
        return std::nullopt;
    }
    const auto allDigits = [](std::string_view digits) {
        return !digits.empty() && digits.find_first_not_of("0123456789") == std::string_view::npos;
    };
    const std::string_view pid = middle.substr(0, dash);
    if (!allDigits(pid) || !allDigits(middle.substr(dash + 1))) {
        return std::nullopt;
    }
    pid_t value = 0;
    const auto [end, error] = std::from_chars(pid.data(), pid.data() + pid.size(), value);
    if (error != std::errc() || end != pid.data() + pid.size() || value <= 0) {
        return std::nullopt;
    }
    return value;
}

// EPERM: the process exists but belongs to someone else.
bool IsRunning(pid_t pid) { return pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH; }

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
    committedPath = target;
    return {};
}

std::error_code PendingFile::CommitNew()
{
    if (std::error_code error = Close()) {
        return error;
    }
    if (std::error_code error = RenameWithoutReplacing(temporary, target)) {
        return error;
    }
    committed = true;
    committedPath = target;
    return {};
}

std::error_code PendingFile::CommitUnderFreeName()
{
    if (std::error_code error = Close()) {
        return error;
    }
    for (int number = -1; number <= 999; ++number) {
        const std::string candidate = NumberedName(target, number);
        const std::error_code error = RenameWithoutReplacing(temporary, candidate);
        if (!error) {
            committed = true;
            committedPath = candidate;
            return {};
        }
        if (error != std::errc::file_exists) {
            return error;
        }
    }
    return std::make_error_code(std::errc::file_exists);
}

bool PendingFile::IsTemporaryName(std::string_view name) { return WriterOf(name).has_value(); }

bool PendingFile::RemoveAbandoned(const std::string& directory, const std::string& name)
{
    const std::optional<pid_t> writer = WriterOf(name);
    if (!writer || IsRunning(*writer)) {
        return false;
    }
    const std::string path = JoinPath(directory, name);
    struct stat status {};
    // Only what this class creates: never a folder or a link of that name.
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode) || ::unlink(path.c_str()) != 0) {
        return false;
    }
    Log("警告 : 中断された書き込みの一時ファイルを削除しました " + path);
    return true;
}
