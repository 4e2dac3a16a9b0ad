#pragma once
// File times, attributes and directory order on the PC, in one place.
// Linux cannot set a creation time, and a save's file order is carried in the
// seconds of its files' creation times, so the creation time lives in the
// extended attribute "user.tansu.creation_time" where the file system allows it.
#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

// Seconds since 1970-01-01 00:00:00 UTC.
struct FileTimes {
    std::optional<int64_t> creation;  // empty: not set
    int64_t lastWrite = 0;
    int64_t lastAccess = 0;
};

std::optional<FileTimes> ReadFileTimes(const std::string& path);
// Sets last-write and last-access; stores the creation time when one is given.
bool WriteFileTimes(const std::string& path, const FileTimes& times);

// The attribute bits of the saves' home system.
enum FileAttribute : uint32_t {
    AttributeReadOnly = 0x01,
    AttributeHidden = 0x02,
    AttributeSystem = 0x04,
    AttributeDirectory = 0x10,
    AttributeArchive = 0x20,
    AttributeNormal = 0x80,
};
// Read-only maps to the write permission bits; the others are kept in
// "user.tansu.attributes" where possible.
std::optional<uint32_t> ReadFileAttributes(const std::string& path);
bool WriteFileAttributes(const std::string& path, uint32_t attributes);

struct DirectoryEntry {
    std::string name;
    bool isDirectory = false;
    uint64_t size = 0;       // 0 for directories
    int64_t lastWrite = 0;   // seconds since 1970 UTC
};
// The entries of a folder without "." and "..", in byte-wise name order.
// Symbolic links are followed. The temporaries of PendingFile are left out,
// and those whose writer has ended are removed. On failure returns what was
// read and sets error.
std::vector<DirectoryEntry> ListDirectory(const std::string& directory, std::error_code* error = nullptr);
