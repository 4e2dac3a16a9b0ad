#pragma once
// A new file written under a temporary name in its target's folder and renamed
// into place only when complete: the target never holds half a file, and a
// failure part-way leaves whatever was there before. The temporary is removed
// unless committed.
#include <cstddef>
#include <string>
#include <system_error>

#include "common/FileDescriptor.h"

class PendingFile {
public:
    explicit PendingFile(std::string target);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Each returns the operating system's error, or none.
    std::error_code Create();
    std::error_code Write(const void* bytes, size_t length);
    // Writes everything an open file still holds, up to its end.
    std::error_code WriteFrom(int source);
    // Flushes the data to the device, so that the rename cannot reach the
    // disk before the contents it names.
    std::error_code Sync();
    std::error_code Close();
    // Closes (when still open) and renames over the target.
    std::error_code Commit();

    const std::string& TemporaryPath() const { return temporary; }
    // For metadata calls on the open temporary (permissions, times); -1 once closed.
    int Descriptor() const { return file.get(); }

private:
    std::string target;
    std::string temporary;
    FileDescriptor file;
    bool committed = false;
};
