#pragma once
// A new file written under a temporary name in its target's folder and renamed
// into place only when complete: the target never holds half a file, and a
// failure part-way leaves whatever was there before. The temporary is removed
// unless committed.
#include <cstddef>
#include <string>
#include <system_error>
#include <string_view>

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
    // Closes (when still open) and takes the target's name only when nothing
    // stands there: file_exists otherwise, and the temporary is removed.
    std::error_code CommitNew();
    // Closes (when still open) and takes the target's name, or the first free
    // of its numbered names (NumberedName 0 to 999), never replacing what
    // stands at one: file_exists when every name is taken.
    std::error_code CommitUnderFreeName();
    // Where the file went after a successful commit.
    const std::string& CommittedPath() const { return committedPath; }

    const std::string& TemporaryPath() const { return temporary; }
    // For metadata calls on the open temporary (permissions, times); -1 once closed.
    int Descriptor() const { return file.get(); }

    // Whether a file name (no folder) is one given to these temporaries:
    // ".tansu-PID-N.tmp". Listings leave them out: none is a file of a save.
    static bool IsTemporaryName(std::string_view name);
    // Removes directory/name when it is such a temporary and the process that
    // wrote it has ended (it was killed before its commit): a temporary of a
    // writer still running is left alone. True when removed (logged).
    static bool RemoveAbandoned(const std::string& directory, const std::string& name);

private:
    std::string target;
    std::string committedPath;
    std::string temporary;
    FileDescriptor file;
    bool committed = false;
};
