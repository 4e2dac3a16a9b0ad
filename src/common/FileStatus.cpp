#include "common/FileStatus.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>

#include "common/FileHelpers.h"
#include "common/PendingFile.h"
#include "common/SystemError.h"

namespace {

constexpr const char* kCreationTimeAttribute = "user.tansu.creation_time";
constexpr const char* kAttributesAttribute = "user.tansu.attributes";

// Bits that the file's own status already carries, or that only mean "none of
// the others": never kept in the extended attribute.
constexpr uint32_t kDerivedAttributes = AttributeReadOnly | AttributeDirectory | AttributeNormal;

// File systems without user extended attributes (some tmpfs, FAT and exFAT
// sticks, network mounts) answer with one of these: there the attribute is
// simply not kept, which is no failure of the caller's operation.
bool ExtendedAttributesRefused(int error) { return error == ENOTSUP || error == EOPNOTSUPP || error == EPERM; }

template <typename Number>
std::optional<Number> ReadNumberAttribute(const std::string& path, const char* name)
{
    char buffer[32];
    const ssize_t length = ::getxattr(path.c_str(), name, buffer, sizeof buffer);
    if (length <= 0) {
        return std::nullopt;
    }
    Number value{};
    const char* end = buffer + length;
    const auto [stop, error] = std::from_chars(buffer, end, value);
    if (error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

// True when stored, or when the file system keeps no such attributes.
bool WriteNumberAttribute(const std::string& path, const char* name, long long value)
{
    const std::string text = std::to_string(value);
    if (::setxattr(path.c_str(), name, text.data(), text.size(), 0) == 0) {
        return true;
    }
    return ExtendedAttributesRefused(errno);
}

bool RemoveAttribute(const std::string& path, const char* name)
{
    if (::removexattr(path.c_str(), name) == 0) {
        return true;
    }
    return errno == ENODATA || ExtendedAttributesRefused(errno);
}

std::optional<int64_t> BirthTime(const std::string& path)
{
    struct statx status {};
    if (::statx(AT_FDCWD, path.c_str(), 0, STATX_BTIME, &status) != 0 || (status.stx_mask & STATX_BTIME) == 0) {
        return std::nullopt;
    }
    return static_cast<int64_t>(status.stx_btime.tv_sec);
}

}  // namespace

std::optional<FileTimes> ReadFileTimes(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    FileTimes times;
    times.lastWrite = static_cast<int64_t>(status.st_mtim.tv_sec);
    times.lastAccess = static_cast<int64_t>(status.st_atim.tv_sec);
    times.creation = ReadNumberAttribute<int64_t>(path, kCreationTimeAttribute);
    if (!times.creation) {
        times.creation = BirthTime(path);
    }
    return times;
}

bool WriteFileTimes(const std::string& path, const FileTimes& times)
{
    struct timespec both[2] {};
    both[0].tv_sec = static_cast<time_t>(times.lastAccess);
    both[1].tv_sec = static_cast<time_t>(times.lastWrite);
    if (::utimensat(AT_FDCWD, path.c_str(), both, 0) != 0) {
        return false;
    }
    if (times.creation) {
        return WriteNumberAttribute(path, kCreationTimeAttribute, static_cast<long long>(*times.creation));
    }
    return true;
}

// A file with none of the bits reports AttributeNormal, as the saves' home
// system does for a file whose attributes were cleared.
std::optional<uint32_t> ReadFileAttributes(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return std::nullopt;
    }
    uint32_t attributes = ReadNumberAttribute<uint32_t>(path, kAttributesAttribute).value_or(0) & ~kDerivedAttributes;
    if (S_ISDIR(status.st_mode)) {
        attributes |= AttributeDirectory;
    }
    if ((status.st_mode & S_IWUSR) == 0) {
        attributes |= AttributeReadOnly;
    }
    return attributes == 0 ? static_cast<uint32_t>(AttributeNormal) : attributes;
}

bool WriteFileAttributes(const std::string& path, uint32_t attributes)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return false;
    }
    mode_t mode = status.st_mode & 07777;
    const bool readOnly = (attributes & AttributeReadOnly) != 0;
    if (readOnly) {
        mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
    } else {
        mode |= S_IWUSR;
    }
    const auto writeKept = [&] {
        const uint32_t kept = attributes & ~kDerivedAttributes;
        return kept != 0 ? WriteNumberAttribute(path, kAttributesAttribute, kept)
                         : RemoveAttribute(path, kAttributesAttribute);
    };
    const auto writeMode = [&] { return mode == (status.st_mode & 07777) || ::chmod(path.c_str(), mode) == 0; };
    // Extended attributes need write permission (for anyone but root): store
    // them while the file is still writable, before it becomes read-only.
    return readOnly ? writeKept() && writeMode() : writeMode() && writeKept();
}

std::vector<DirectoryEntry> ListDirectory(const std::string& directory, std::error_code* error)
{
    std::vector<DirectoryEntry> entries;
    if (error != nullptr) {
        error->clear();
    }
    const std::unique_ptr<DIR, int (*)(DIR*)> handle(::opendir(directory.c_str()), ::closedir);
    if (!handle) {
        if (error != nullptr) {
            *error = LastError();
        }
        return entries;
    }
    for (;;) {
        errno = 0;
        const dirent* found = ::readdir(handle.get());
        if (found == nullptr) {
            if (errno != 0 && error != nullptr) {
                *error = LastError();
            }
            break;
        }
        const std::string name = found->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        struct stat status {};
        const std::string full = JoinPath(directory, name);
        // A file being written, or one a killed copy left behind (removed
        // here): never a file of a save.
        if (PendingFile::IsTemporaryName(name) && ::lstat(full.c_str(), &status) == 0 && S_ISREG(status.st_mode)) {
            PendingFile::RemoveAbandoned(directory, name);
            continue;
        }
        DirectoryEntry entry;
        entry.name = name;
        // A link whose target is gone is still listed, as a file of its own.
        if (::stat(full.c_str(), &status) == 0 || ::lstat(full.c_str(), &status) == 0) {
            entry.isDirectory = S_ISDIR(status.st_mode);
            entry.size = (S_ISREG(status.st_mode) && status.st_size > 0) ? static_cast<uint64_t>(status.st_size) : 0;
            entry.lastWrite = static_cast<int64_t>(status.st_mtim.tv_sec);
        }
        entries.push_back(std::move(entry));
    }
    // std::string compares bytes as unsigned char: the same order on every file system.
    std::sort(entries.begin(), entries.end(),
              [](const DirectoryEntry& a, const DirectoryEntry& b) { return a.name < b.name; });
    return entries;
}
