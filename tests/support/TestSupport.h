#pragma once
// Shared helpers of the test programs.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    // With a trailing '/'.
    const std::string& path() const { return root; }
    std::string operator/(const std::string& name) const { return root + name; }

private:
    std::string root;
};

// ../shared/samples (with a trailing '/'), or "" when it is not there.
std::string SamplesDir();
// tests/data with a trailing '/'.
std::string TestDataDir();

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);

// Makes a program directory in a temporary folder current for one test:
// the log goes there; the program and working directories are restored afterwards.
class ScopedProgramDirectory {
public:
    explicit ScopedProgramDirectory(const std::string& directory);
    ~ScopedProgramDirectory();
    ScopedProgramDirectory(const ScopedProgramDirectory&) = delete;
    ScopedProgramDirectory& operator=(const ScopedProgramDirectory&) = delete;

private:
    std::string previous;
    // The log and the controller change the working directory; it comes back too.
    std::string previousWorkingDirectory;
};

// UTF-8 text in another character set (ICU converter names: "EUC-JP", "windows-31j", ...).
std::string Encode(const std::string& utf8, const char* charset);

// An icon.sys of 964 bytes with the given Shift-JIS title and line-break offset.
std::vector<uint8_t> MakeIconSys(const std::string& sjisTitle, int16_t lineBreak = 0,
                                 const std::string& iconName = "icon.ico");
// A raw PS1 save of blocks x 8192 bytes with the given Shift-JIS title and icon flag.
std::vector<uint8_t> MakePS1Save(const std::string& sjisTitle, int blocks = 1, uint8_t iconFlag = 0x11);

// A named pipe that no one writes, as a hostile save may hold one. Code that
// opens it the plain way waits forever; so that a test of such code fails
// instead of hanging, anything still waiting on the pipe after the patience
// has run out is let go once (the pipe's other end is opened and closed),
// and Sprung() tells that it happened.
class PipeTrap {
public:
    explicit PipeTrap(std::string path, std::chrono::milliseconds patience = std::chrono::seconds(5));
    ~PipeTrap();
    PipeTrap(const PipeTrap&) = delete;
    PipeTrap& operator=(const PipeTrap&) = delete;
    bool Sprung() const { return sprung; }

private:
    std::string path;
    std::atomic<bool> sprung{false};
    std::mutex lock;
    std::condition_variable wake;
    bool stopping = false;
    std::thread watcher;
};
