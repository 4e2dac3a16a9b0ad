#pragma once
#include <string>
#include <system_error>

// path + ".000" ... ".999": the first at which nothing exists; "" when all do.
std::string BackupName(const std::string& path);
// Moves what stands at path to BackupName(path). The error when no name is
// free (file_exists) or the rename failed; then nothing was moved.
std::error_code RenameToBackup(const std::string& path);
// The name a new file takes when path is taken: the backups' numbers, put
// before the extension so the file keeps its kind ("T.psu", 0 -> "T.000.psu";
// "NAME", 0 -> "NAME.000"). number 0 to 999; any other, path itself.
std::string NumberedName(const std::string& path, int number);
bool IsFile(const std::string& path);
bool IsDirectory(const std::string& path);
bool Exists(const std::string& path);
// a + '/' + b, without doubling a separator; a lone "" gives b.
std::string JoinPath(const std::string& directory, const std::string& name);
