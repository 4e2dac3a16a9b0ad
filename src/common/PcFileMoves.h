#pragma once
// The PC side of every card backend's Put and Get: the file of a name in the
// process's current working directory, opened only when it is a regular file,
// and copied, moved or written so that no final name ever holds half a file.
// The data goes under a temporary name first (PendingFile) and takes the
// final name only when complete.
#include <sys/stat.h>

#include <cstdint>
#include <span>
#include <string>
#include <system_error>

#include "common/FileDescriptor.h"

// Where Put reads and Get writes: name in the process's current working
// directory. invalid_argument for a name that is not plain (it could reach
// another folder); the system's error when the directory cannot be told.
std::error_code WorkingFolderFile(const std::string& name, std::string& path);

// Opens a file to copy from: a regular file only, a link never followed
// (OpenRegularFile). A refusal for what the file is (a link, a pipe, a
// folder) is logged, ending in where ("MemoryCardUSBMemory::Put() icon.sys").
std::error_code OpenToCopy(const std::string& path, FileDescriptor& file, struct stat& status,
                           const std::string& where);

// Copies the open file to target, replacing what is there only once the copy
// is complete and flushed: a stick pulled out or a full disk midway leaves
// the old file (or none). A link at target is replaced, not written through.
// Like the system copy this stands in for, the copy keeps the source's
// permissions and times where the file system takes them.
std::error_code CopyReplacing(const FileDescriptor& in, const struct stat& status, const std::string& target);
// Copies the open file to target, which must be free: file_exists otherwise.
std::error_code CopyWithoutReplacing(const FileDescriptor& in, const std::string& target);
// Moves a file to a name that must be free, as a move on the system the
// tools came from does: what stands at to is never replaced (file_exists).
// Works across file systems, by a copy.
std::error_code MoveWithoutReplacing(const std::string& from, const std::string& to);
// Writes bytes as the whole of target, replacing what is there only once
// complete and flushed. modified, when not 0, becomes the file's last-write
// (and last-access) time, as a copy between folders keeps it.
std::error_code WriteReplacing(const std::string& target, std::span<const uint8_t> bytes, int64_t modified);
