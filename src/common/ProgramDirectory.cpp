#include "common/ProgramDirectory.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>

#include <boost/format.hpp>

#include "common/Log.h"

namespace fs = std::filesystem;

namespace {

std::string& Directory()
{
    static std::string directory;
    return directory;
}

std::string WithSlash(std::string path)
{
    if (path.empty() || path.back() != '/') {
        path += '/';
    }
    return path;
}

std::string UserDataDirectory()
{
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/') {
        return WithSlash(xdg) + "tansu/";
    }
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return WithSlash(home) + ".local/share/tansu/";
    }
    return WithSlash(fs::temp_directory_path().string()) + "tansu/";
}

// <prefix>/share/tansu/ when the executable runs from <prefix>/bin/ of an
// installation; a build tree's bin/ has no share/ beside it.
std::optional<std::string> InstalledShareDirectory(const std::string& executableDirectory)
{
    const fs::path bin = fs::path(executableDirectory).parent_path();
    if (bin.filename() != "bin") {
        return std::nullopt;
    }
    const fs::path share = bin.parent_path() / "share" / "tansu";
    std::error_code error;
    if (!fs::is_directory(share / "language", error)) {
        return std::nullopt;
    }
    return WithSlash(share.string());
}

}  // namespace

std::string ShippedFilesDirectory()
{
    const std::string executable = ExecutableDirectory();
    return InstalledShareDirectory(executable).value_or(executable);
}

std::string ExecutableDirectory()
{
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    return error ? WithSlash(fs::current_path(error).string()) : WithSlash(executable.parent_path().string());
}

void InitProgramDirectory()
{
    std::error_code error;
    std::string directory = ExecutableDirectory();
    if (InstalledShareDirectory(directory)) {
        // An installed program never writes beside itself, even when it could.
        directory = UserDataDirectory();
        fs::create_directories(directory, error);
    } else if (access(directory.c_str(), W_OK) != 0) {
        const std::string fallback = UserDataDirectory();
        fs::create_directories(fallback, error);
        LogDeferred((boost::format("警告 : プログラムのフォルダ %1% に書き込めないため %2% を使用します") % directory %
                     fallback)
                        .str());
        directory = fallback;
    }
    Directory() = directory;
}

const std::string& ProgramDirectory()
{
    if (Directory().empty()) {
        InitProgramDirectory();
    }
    return Directory();
}

void SetProgramDirectory(const std::string& directory) { Directory() = WithSlash(directory); }

std::string StagingDirectory()
{
    const std::string staging = ProgramDirectory() + "staging/";
    std::error_code error;
    fs::create_directories(staging, error);
    return staging;
}

bool EnterProgramDirectory() { return chdir(ProgramDirectory().c_str()) == 0; }
