#pragma once
#include <string>
#include <string_view>
#include <system_error>

// path + ".000" ... ".999": the first at which nothing exists; "" when all do.
std::string BackupName(const std::string& path);
// Moves what stands at path to BackupName(path). The error when no name is
// free (file_exists) or the rename failed; then nothing was moved.
std::error_code RenameToBackup(const std::string& path);
// Renames from to to only when nothing stands at to (file_exists otherwise),
// within one file system (cross_device_link otherwise).
std::error_code RenameWithoutReplacing(const std::string& from, const std::string& to);
// The name a new file takes when path is taken: the backups' numbers, put
// before the extension so the file keeps its kind ("T.psu", 0 -> "T.000.psu";
// "NAME", 0 -> "NAME.000"). number 0 to 999; any other, path itself.
std::string NumberedName(const std::string& path, int number);
bool IsFile(const std::string& path);
bool IsDirectory(const std::string& path);
bool Exists(const std::string& path);
// A name that stands for one entry inside a folder and nothing else: not
// empty, not "." or "..", no '/' (it would reach another folder) and no NUL
// (it would cut the path short). No CR or LF either: such a name would end an
// FTP command line early, split a log or list line, and no card writes one.
bool IsPlainName(std::string_view name);
// a + '/' + b, without doubling a separator; a lone "" gives b.
std::string JoinPath(const std::string& directory, const std::string& name);
