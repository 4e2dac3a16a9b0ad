#pragma once
#include <string>
#include <system_error>

// path + ".000" ... ".999": the first at which nothing exists; "" when all do.
std::string BackupName(const std::string& path);
// Moves what stands at path to BackupName(path). The error when no name is
// free (file_exists) or the rename failed; then nothing was moved.
std::error_code RenameToBackup(const std::string& path);
bool IsFile(const std::string& path);
bool IsDirectory(const std::string& path);
bool Exists(const std::string& path);
// a + '/' + b, without doubling a separator; a lone "" gives b.
std::string JoinPath(const std::string& directory, const std::string& name);
