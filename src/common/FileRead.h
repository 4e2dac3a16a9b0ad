#pragma once
// Reading files on the PC that may be anything the user pointed at: only
// regular files are read, and folders, pipes and devices are refused without
// waiting on them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

// The whole content of a regular file.
std::error_code ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes);

// The first bytes of a file, read without loading the rest: save headers are
// small, the files that carry them need not be.
struct FileHead {
    // Set when the path could not be opened as a regular file (a folder, a
    // device or a pipe counts as "cannot be opened": none of them holds a save).
    std::error_code openError;
    // The length of the whole file.
    uint64_t length = 0;
    // At most the limit asked for; fewer when the file is shorter or a read fails.
    std::vector<uint8_t> bytes;
};

FileHead ReadFileHead(const std::string& path, size_t limit);
