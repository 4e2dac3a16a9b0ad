#pragma once
// Reading files on the PC that may be anything the user pointed at: only
// regular files are read, and folders, pipes and devices are refused without
// waiting on them.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

#include "common/FileDescriptor.h"

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

// Opens a file that is to be copied (a save's file on a card folder or on the
// PC): a regular file only, never through a symbolic link at its end,
// and never waiting on a pipe or a device, which are refused at once. A save
// made by someone else may hold a link to any file the user can read, or a
// pipe that no one ever writes. On failure file is left invalid:
// too_many_symbolic_link_levels for a link, is_a_directory, invalid_argument
// for any other kind that is no regular file, or the system's error.
std::error_code OpenFileToCopy(const std::string& path, FileDescriptor& file, struct stat& status);
// When OpenFileToCopy refused the file for what it is (a link, a folder, a
// pipe or a device), one log line that says so, ending in where (for example
// "MemoryCardUSBMemory::Get() icon.sys"), and true. Other errors (a missing
// file among them) are left to the caller: false, nothing logged.
bool LogRefusedKind(const std::error_code& error, const std::string& where);
