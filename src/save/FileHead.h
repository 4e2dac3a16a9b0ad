#pragma once
// The first bytes of a file on the PC, read without loading the rest: save
// headers are small, the files that carry them need not be.
#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

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
