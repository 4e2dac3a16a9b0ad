#include "common/PcFileMoves.h"

#include <unistd.h>

#include <filesystem>

#include "common/FileHelpers.h"
#include "common/FileRead.h"
#include "common/PendingFile.h"

std::error_code WorkingFolderFile(const std::string& name, std::string& path)
{
    if (!IsPlainName(name)) {
        return std::make_error_code(std::errc::invalid_argument);
    }
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    if (!error) {
        path = JoinPath(folder.string(), name);
    }
    return error;
}

std::error_code OpenToCopy(const std::string& path, FileDescriptor& file, struct stat& status, const std::string& where)
{
    const std::error_code error = OpenRegularFile(path, file, &status);
    if (error) {
        LogRefusedKind(error, where);
    }
    return error;
}

std::error_code CopyReplacing(const FileDescriptor& in, const struct stat& status, const std::string& target)
{
    PendingFile out(target);
    std::error_code error = out.Create();
    error = error ? error : out.WriteFrom(in.get());
    if (!error) {
        // Metadata is a courtesy: some file systems (FAT sticks) refuse
        // permission changes, and that must not fail the copy.
        static_cast<void>(::fchmod(out.Descriptor(), status.st_mode & 0777));
        const struct timespec times[2] = {status.st_atim, status.st_mtim};
        static_cast<void>(::futimens(out.Descriptor(), times));
    }
    error = error ? error : out.Sync();
    return error ? error : out.Commit();
}

std::error_code CopyWithoutReplacing(const FileDescriptor& in, const std::string& target)
{
    PendingFile out(target);
    std::error_code error = out.Create();
    error = error ? error : out.WriteFrom(in.get());
    error = error ? error : out.Sync();
    return error ? error : out.CommitNew();
}

std::error_code MoveWithoutReplacing(const std::string& from, const std::string& to)
{
    const std::error_code error = RenameWithoutReplacing(from, to);
    if (error != std::errc::cross_device_link) {
        return error;
    }
    // The staging folder and the PC folder may lie on different file systems.
    FileDescriptor in;
    struct stat status {};
    std::error_code copied = OpenRegularFile(from, in, &status);
    copied = copied ? copied : CopyWithoutReplacing(in, to);
    if (!copied) {
        ::unlink(from.c_str());
    }
    return copied;
}

std::error_code WriteReplacing(const std::string& target, std::span<const uint8_t> bytes, int64_t modified)
{
    PendingFile out(target);
    std::error_code error = out.Create();
    error = error ? error : out.Write(bytes.data(), bytes.size());
    if (!error && modified != 0) {
        const struct timespec times[2] = {{modified, 0}, {modified, 0}};
        static_cast<void>(::futimens(out.Descriptor(), times));
    }
    error = error ? error : out.Sync();
    return error ? error : out.Commit();
}
