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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
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

// Prints the client's failure line; returns the client's exit code.
int Fail(const char* what, int error, int exitCode = -2)
{
    std::printf("[ERROR] %s failed. (%d)\n", what, error);
    return exitCode;
}

// Where a console path ("mc0:SAVE/file") lies in the console's folder.
// Returns 0 or the driver's error number.
int Resolve(const std::string& consolePath, fs::path& out)
{
    const std::string device = consolePath.substr(0, consolePath.find(':'));
    if (device.size() == consolePath.size() || (device != "mc0" && device != "mc1")) {
        return kNoDevice;
    }
    const std::string root = Environment("PS2CLIENT_STUB_ROOT");
    out = fs::path(root) / device;
    if (root.empty() || !fs::is_directory(out)) {
        return kNoCard;
    }
    std::istringstream parts(consolePath.substr(device.size() + 1));
    for (std::string part; std::getline(parts, part, '/');) {
        if (part == "." || part == "..") {
            return kNotFound;
        }
        out /= part;
    }
    return 0;
}

// A directory's size is its entry count, "." and ".." included.
long long Size(const fs::path& path)
{
    return fs::is_directory(path) ? std::distance(fs::directory_iterator(path), fs::directory_iterator()) + 2
                                  : static_cast<long long>(fs::file_size(path));
}

void PrintEntry(const fs::path& path, const std::string& name, long long size)
{
    struct stat status {};
    ::stat(path.c_str(), &status);
    std::tm local{};
    localtime_r(&status.st_mtime, &local);
    std::printf("  %srwxrwxrwx %10d %02d-%02d-%04d %02d:%02d:%02d %s\n", fs::is_directory(path) ? "d" : "-",
                static_cast<int>(size), local.tm_mon + 1, local.tm_mday, local.tm_year + 1900, local.tm_hour,
                local.tm_min, local.tm_sec, name.c_str());
}

// The card driver lists "." and ".." as real entries.
int Dir(const std::string& pathname)
{
    fs::path folder;
    int error = Resolve(pathname, folder);
    if (error == 0 && !fs::is_directory(folder)) {
        error = fs::exists(folder) ? kNotDirectory : kNotFound;
    }
    if (error != 0) {
        return Fail("Open directory", error);
    }
    std::set<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) {
        names.insert(item.path().filename().string());
    }
    std::printf("\n [Contents of %s]\n\n", pathname.c_str());
    long long bytes = Size(folder);
    PrintEntry(folder, ".", bytes);
    PrintEntry(folder, "..", 0);
    for (const std::string& name : names) {
        const long long size = Size(folder / name);
        PrintEntry(folder / name, name, size);
        bytes += size;
    }
    std::printf("\n [%zu Files - %lld Bytes]\n\n", names.size() + 2, bytes);
    return 0;
}

// copyfrom (card to PC) and copyto (PC to card): one '#' before each block.
// The process ends right after, which closes the files.
int Copy(const std::string& source, const std::string& destination, bool toCard)
{
    fs::path card;
    int in = -1;
    int out = -1;
    if (toCard) {
        in = ::open(source.c_str(), O_RDONLY);
        if (in < 0) {
            return Fail("Open source file", in);
        }
        out = Resolve(destination, card);
        if (out == 0) {
            out = fs::is_directory(card.parent_path()) && !fs::is_directory(card)
                      ? ::open(card.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)
                      : kNotFound;
        }
    } else {
        const int error = Resolve(source, card);
        if (error != 0 || !fs::is_regular_file(card)) {
            return Fail("Open source file", error != 0 ? error : kNotFound);
        }
        in = ::open(card.c_str(), O_RDONLY);
        // Opened without truncating, as the real client does.
        out = ::open(destination.c_str(), O_RDWR | O_CREAT, 0644);
    }
    std::printf("\n [%s --> %s]\n\n  Progress: ", source.c_str(), destination.c_str());
    const off_t size = ::lseek(in, 0, SEEK_END);
    ::lseek(in, 0, SEEK_SET);
    std::vector<char> block(kCopyBlock);
    long long total = 0;
    while (total < size) {
        std::printf("#");
        const ssize_t got = ::read(in, block.data(), block.size());
        if (got <= 0) {
            return Fail("Read source data", static_cast<int>(got), -5);
        }
        if (out < 0 || ::write(out, block.data(), static_cast<size_t>(got)) != got) {
            return Fail("Write destination data", out < 0 ? out : -1, -6);
        }
        total += got;
    }
    std::printf("\n\n [%lld Bytes Copied]\n\n", total);
    return out < 0 ? Fail("Close destination file", out, -8) : 0;
}

// delete, mkdir and rmdir print nothing on success. The operation returns 0
// or the driver's error number.
int OnCard(const std::string& pathname, const char* failure, const std::function<int(const fs::path&)>& operation)
{
    fs::path path;
    int error = Resolve(pathname, path);
    if (error == 0) {
        error = operation(path);
    }
    return error != 0 ? Fail(failure, error) : 0;
}

int Delete(const fs::path& path) { return fs::is_regular_file(path) && ::unlink(path.c_str()) == 0 ? 0 : kNotFound; }

int MakeDirectory(const fs::path& path)
{
    return fs::exists(path) ? kExists : ::mkdir(path.c_str(), 0777) == 0 ? 0 : kNotFound;
}

int RemoveDirectory(const fs::path& path)
{
    return !fs::exists(path) ? kNotFound : !fs::is_directory(path) ? kNotDirectory : ::rmdir(path.c_str()) == 0 ? 0 : kExists;
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
    int at = 1;
    while (at + 1 < argc && (std::strcmp(argv[at], "-h") == 0 || std::strcmp(argv[at], "-t") == 0)) {
        at += 2;
    }
    const std::string command = at < argc ? argv[at] : "NULL";
    const std::vector<std::string> arguments(argv + std::min(at + 1, argc), argv + argc);
    const auto argument = [&arguments](std::size_t i) { return i < arguments.size() ? arguments[i] : "NULL"; };

    const std::string mode = Environment("PS2CLIENT_STUB_MODE");
    if (mode == "hang" || mode == "hang:" + command) {
        for (;;) {
            ::pause();
        }
    }
    // reset and poweroff are one datagram each, never answered.
    if (mode == "silent" || mode == "silent:" + command || command == "reset" || command == "poweroff") {
        return 0;
    }
    if (command == "execiop") {
        if (mode == "offline") {
            std::printf("[ERROR] Connect socket failed. (-1)\n[ERROR] Connect to ps2link failed. (-1)\n");
            return -1;
        }
        return ExecIop(arguments);
    }
    const std::map<std::string, std::function<int()>> fileCommands = {
        {"dir", [&] { return Dir(argument(0)); }},
        {"copyfrom", [&] { return Copy(argument(0), argument(1), false); }},
        {"copyto", [&] { return Copy(argument(0), argument(1), true); }},
        {"delete", [&] { return OnCard(argument(0), "Delete file", Delete); }},
        {"mkdir", [&] { return OnCard(argument(0), "Make directory", MakeDirectory); }},
        {"rmdir", [&] { return OnCard(argument(0), "Remove directory", RemoveDirectory); }},
    };
    const auto found = fileCommands.find(command);
    if (found == fileCommands.end()) {
        std::printf("[***] %s - Your friendly, neighbourhood ps2 client.\n", argv[0]);
        std::printf("\n Basic usage:\n\n  %s [-h hostname] [-t timeout] <command> [arguments]\n\n", argv[0]);
        return 0;
    }
    if (mode == "offline") {
        std::printf("[ERROR] Connect socket failed. (-1)\n[ERROR] Connect to request failed. (-3)\n"
                    "[ERROR] Connect to ps2netfs failed. (-1)\n");
        return -1;
    }
    return found->second();
}
