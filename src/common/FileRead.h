#pragma once
// Reading files on the PC that may be anything the user pointed at: only
// regular files are read, and folders, pipes and devices are refused without
// waiting on them.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>
#include <vector>

#include "common/FileDescriptor.h"

// Opens path for reading when the name itself is a regular file. A symbolic
// link is refused (too_many_symbolic_link_levels), never followed; a pipe, a
// device or a socket is refused (invalid_argument) without waiting for a
// writer, a folder with is_a_directory. status, when given, gets the open
// file's status. For files found inside a folder the program walks: such a
// name must not lead anywhere else.
std::error_code OpenRegularFile(const std::string& path, FileDescriptor& file, struct stat* status = nullptr);
// When OpenRegularFile refused the file for what it is (a link, a folder, a
// pipe or a device), one log line that says so, ending in where (for example
// "MemoryCardUSBMemory::Get() icon.sys"), and true. Other errors (a missing
// file among them) are left to the caller: false, nothing logged.
bool LogRefusedKind(const std::error_code& error, const std::string& where);

// The whole content of a regular file (a link the user named is followed).
// A file longer than limit is not read: file_too_large, bytes left empty.
std::error_code ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes,
                              uint64_t limit = std::numeric_limits<uint64_t>::max());
// The same from a file already open (OpenRegularFile), from where it stands.
std::error_code ReadWholeFile(const FileDescriptor& file, std::vector<uint8_t>& bytes,
                              uint64_t limit = std::numeric_limits<uint64_t>::max());

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
