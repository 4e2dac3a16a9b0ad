// A stand-in for the console's PC-side client "ps2client" (the 2004 line with
// the ps2netfs file commands), for tests. A folder plays the console: its
// mc0/ and mc1/ are the cards in the two slots (a missing one is an empty
// slot). Every command prints what the real client prints for it: the dir
// frame, the copy frames, "[ERROR] <text>. (<n>)" lines on failure, and the
// loader's relay of the module banner for "execiop host:ps2netfs.irx".
//
// Environment:
//   PS2CLIENT_STUB_ROOT  the console's folder (required for card commands)
//   PS2CLIENT_STUB_MODE  empty: normal; "offline": no console answers;
//                        "silent" or "silent:<command>": print nothing;
//                        "hang" or "hang:<command>": never end
//   PS2CLIENT_STUB_LOG   a file to which each run appends its arguments
//                        (after the program name), joined by '|', one run a line
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The console's error numbers that the card driver returns.
constexpr int kNotFound = -2;
constexpr int kNoCard = -6;
constexpr int kExists = -17;
constexpr int kNoDevice = -19;
constexpr int kNotDirectory = -20;
// The client copies in blocks of this size and prints one '#' per block.
constexpr std::size_t kCopyBlock = 28000;

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// Where a console path ("mc0:SAVE/file") lies in the console's folder.
// Returns 0 or the driver's error number.
int Resolve(const std::string& consolePath, fs::path& out)
{
    const std::size_t colon = consolePath.find(':');
    if (colon == std::string::npos) {
        return kNoDevice;
    }
    const std::string device = consolePath.substr(0, colon);
    if (device != "mc0" && device != "mc1") {
        return kNoDevice;
    }
    const std::string root = Environment("PS2CLIENT_STUB_ROOT");
    out = fs::path(root) / device;
    if (root.empty() || !fs::is_directory(out)) {
        return kNoCard;
    }
    std::string rest = consolePath.substr(colon + 1);
    std::size_t start = 0;
    while (start <= rest.size()) {
        std::size_t end = rest.find('/', start);
        if (end == std::string::npos) {
            end = rest.size();
        }
        const std::string part = rest.substr(start, end - start);
        if (part == "." || part == "..") {
            return kNotFound;
        }
        if (!part.empty()) {
            out /= part;
        }
        start = end + 1;
    }
    return 0;
}

void PrintEntry(const char* type, long long size, const fs::path& statPath, const std::string& name)
{
    struct stat status {};
    ::stat(statPath.c_str(), &status);
    std::tm local{};
    localtime_r(&status.st_mtime, &local);
    std::printf("  %srwxrwxrwx %10d %02d-%02d-%04d %02d:%02d:%02d %s\n", type, static_cast<int>(size), local.tm_mon + 1,
                local.tm_mday, local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, name.c_str());
}

int Dir(const std::string& pathname)
{
    fs::path folder;
    int error = Resolve(pathname, folder);
    if (error == 0 && !fs::is_directory(folder)) {
        error = fs::exists(folder) ? kNotDirectory : kNotFound;
    }
    if (error != 0) {
        std::printf("[ERROR] Open directory failed. (%d)\n", error);
        return -2;
    }
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    // The card driver lists "." and ".." as real entries; a directory's size
    // is its entry count.
    std::sort(names.begin(), names.end());
    std::printf("\n [Contents of %s]\n\n", pathname.c_str());
    long long files = 2;
    long long bytes = static_cast<long long>(names.size()) + 2;
    PrintEntry("d", bytes, folder, ".");
    PrintEntry("d", 0, folder, "..");
    for (const std::string& name : names) {
        const fs::path path = folder / name;
        long long size = 0;
        if (fs::is_directory(path)) {
            size = std::distance(fs::directory_iterator(path), fs::directory_iterator()) + 2;
        } else {
            size = static_cast<long long>(fs::file_size(path));
        }
        PrintEntry(fs::is_directory(path) ? "d" : "-", size, path, name);
        ++files;
        bytes += size;
    }
    std::printf("\n [%lld Files - %lld Bytes]\n\n", files, bytes);
    return 0;
}

// The copy loop of both directions: one '#' before each block.
int Copy(int in, int out, const std::string& source, const std::string& destination)
{
    const off_t size = ::lseek(in, 0, SEEK_END);
    ::lseek(in, 0, SEEK_SET);
    std::printf("\n [%s --> %s]\n\n  Progress: ", source.c_str(), destination.c_str());
    long long total = 0;
    std::vector<char> block(kCopyBlock);
    while (total < size) {
        std::printf("#");
        const ssize_t got = ::read(in, block.data(), block.size());
        if (got <= 0) {
            std::printf("[ERROR] Read source data failed. (%d)\n", static_cast<int>(got));
            return -5;
        }
        if (out < 0 || ::write(out, block.data(), static_cast<size_t>(got)) != got) {
            std::printf("[ERROR] Write destination data failed. (%d)\n", out < 0 ? out : -1);
            return -6;
        }
        total += got;
    }
    std::printf("\n\n [%lld Bytes Copied]\n\n", total);
    if (out < 0) {
        std::printf("[ERROR] Close destination file failed. (%d)\n", out);
        return -8;
    }
    return 0;
}

int CopyFrom(const std::string& source, const std::string& destination)
{
    fs::path path;
    int error = Resolve(source, path);
    if (error == 0 && !fs::is_regular_file(path)) {
        error = kNotFound;
    }
    if (error != 0) {
        std::printf("[ERROR] Open source file failed. (%d)\n", error);
        return -2;
    }
    const int in = ::open(path.c_str(), O_RDONLY);
    // Opened without truncating, as the real client does.
    const int out = ::open(destination.c_str(), O_RDWR | O_CREAT, 0644);
    const int result = Copy(in, out, source, destination);
    ::close(in);
    if (out >= 0) {
        ::close(out);
    }
    return result;
}

int CopyTo(const std::string& source, const std::string& destination)
{
    const int in = ::open(source.c_str(), O_RDONLY);
    if (in < 0) {
        std::printf("[ERROR] Open source file failed. (%d)\n", in);
        return -2;
    }
    fs::path path;
    int out = Resolve(destination, path);
    if (out == 0) {
        out = fs::is_directory(path.parent_path()) && !fs::is_directory(path)
                  ? ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                  : kNotFound;
    }
    const int result = Copy(in, out, source, destination);
    ::close(in);
    if (out >= 0) {
        ::close(out);
    }
    return result;
}

// delete, mkdir and rmdir print nothing on success.
int Delete(const std::string& pathname)
{
    fs::path path;
    int error = Resolve(pathname, path);
    if (error == 0 && (!fs::is_regular_file(path) || ::unlink(path.c_str()) != 0)) {
        error = kNotFound;
    }
    if (error != 0) {
        std::printf("[ERROR] Delete file failed. (%d)\n", error);
        return -2;
    }
    return 0;
}

int MakeDirectory(const std::string& pathname)
{
    fs::path path;
    int error = Resolve(pathname, path);
    if (error == 0 && fs::exists(path)) {
        error = kExists;
    } else if (error == 0 && ::mkdir(path.c_str(), 0777) != 0) {
        error = kNotFound;
    }
    if (error != 0) {
        std::printf("[ERROR] Make directory failed. (%d)\n", error);
        return -2;
    }
    return 0;
}

int RemoveDirectory(const std::string& pathname)
{
    fs::path path;
    int error = Resolve(pathname, path);
    if (error == 0 && !fs::exists(path)) {
        error = kNotFound;
    } else if (error == 0 && !fs::is_directory(path)) {
        error = kNotDirectory;
    } else if (error == 0 && ::rmdir(path.c_str()) != 0) {
        error = kExists;
    }
    if (error != 0) {
        std::printf("[ERROR] Remove directory failed. (%d)\n", error);
        return -2;
    }
    return 0;
}

// The console loads the module from the client's working directory and
// relays what it prints; the module prints its banner first.
int ExecIop(const std::vector<std::string>& arguments)
{
    std::printf("IOP cmd: %zu args\n", arguments.size());
    std::string file = arguments.empty() ? "" : arguments[0];
    if (file.rfind("host:", 0) == 0) {
        file.erase(0, 5);
    }
    if (file.empty() || !fs::is_regular_file(file)) {
        std::printf("Error loading module: Unable to open executable file.\n");
        return 0;
    }
    if (fs::path(file).filename() == "ps2netfs.irx") {
        std::printf("PS2_TcpFileDriver - v1.0 - Copyright (c) 2004 adresd\n\nServer Started\n");
    }
    std::printf("loadmodule: id 28, ret 0\n");
    return 0;
}

void Usage(const char* program)
{
    std::printf("[***] %s - Your friendly, neighbourhood ps2 client.\n", program);
    std::printf("\n Basic usage:\n\n  %s [-h hostname] [-t timeout] <command> [arguments]\n\n", program);
}

bool ModeApplies(const std::string& mode, const std::string& name, const std::string& command)
{
    return mode == name || mode == name + ":" + command;
}

}  // namespace

int main(int argc, char** argv)
{
    std::setbuf(stdout, nullptr);
    if (const std::string log = Environment("PS2CLIENT_STUB_LOG"); !log.empty()) {
        std::string line;
        for (int i = 1; i < argc; ++i) {
            line += (i > 1 ? "|" : "") + std::string(argv[i]);
        }
        std::ofstream(log, std::ios::app) << line << '\n';
    }

    // Options come first; the command is the first argument after them.
    int count = 1;
    for (int i = 1; i + 1 < argc && (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "-t") == 0); i += 2) {
        count = i + 2;
    }
    const std::string command = count < argc ? argv[count] : "NULL";
    const std::vector<std::string> arguments(argv + std::min(count + 1, argc), argv + argc);
    const auto argument = [&arguments](std::size_t i) { return i < arguments.size() ? arguments[i] : "NULL"; };

    const std::string mode = Environment("PS2CLIENT_STUB_MODE");
    if (ModeApplies(mode, "hang", command)) {
        for (;;) {
            ::pause();
        }
    }
    if (ModeApplies(mode, "silent", command)) {
        return 0;
    }

    // reset and poweroff are one datagram each, never answered.
    if (command == "reset" || command == "poweroff") {
        return 0;
    }
    if (command == "execiop") {
        if (mode == "offline") {
            std::printf("[ERROR] Connect socket failed. (-1)\n[ERROR] Connect to ps2link failed. (-1)\n");
            return -1;
        }
        return ExecIop(arguments);
    }
    const bool fileCommand = command == "dir" || command == "copyfrom" || command == "copyto" || command == "delete" ||
                             command == "mkdir" || command == "rmdir";
    if (fileCommand && mode == "offline") {
        std::printf("[ERROR] Connect socket failed. (-1)\n[ERROR] Connect to request failed. (-3)\n"
                    "[ERROR] Connect to ps2netfs failed. (-1)\n");
        return -1;
    }
    if (command == "dir") {
        return Dir(argument(0));
    }
    if (command == "copyfrom") {
        return CopyFrom(argument(0), argument(1));
    }
    if (command == "copyto") {
        return CopyTo(argument(0), argument(1));
    }
    if (command == "delete") {
        return Delete(argument(0));
    }
    if (command == "mkdir") {
        return MakeDirectory(argument(0));
    }
    if (command == "rmdir") {
        return RemoveDirectory(argument(0));
    }
    Usage(argv[0]);
    return 0;
}
