#include "TestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <unicode/ucnv.h>

#include "common/Log.h"
#include "common/ProgramDirectory.h"

namespace fs = std::filesystem;

TempDir::TempDir()
{
    std::string pattern = (fs::temp_directory_path() / "tansu-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    root = pattern + "/";
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(root, ignored);
}

std::string SamplesDir()
{
    const fs::path dir(TANSU_SAMPLES_DIR);
    return fs::is_directory(dir) ? dir.string() + "/" : std::string();
}

std::string TestDataDir() { return std::string(TANSU_TEST_DATA_DIR) + "/"; }

std::vector<uint8_t> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text)
{
    WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ScopedProgramDirectory::ScopedProgramDirectory(const std::string& directory)
    : previous(ProgramDirectory()), previousWorkingDirectory(fs::current_path().string())
{
    SetProgramDirectory(directory);
    LogOpen();
}

ScopedProgramDirectory::~ScopedProgramDirectory()
{
    LogClose();
    SetProgramDirectory(previous);
    std::error_code ignored;
    fs::current_path(previousWorkingDirectory, ignored);
}

std::string Encode(const std::string& utf8, const char* charset)
{
    std::string out(utf8.size() * 4 + 16, '\0');
    UErrorCode error = U_ZERO_ERROR;
    out.resize(static_cast<size_t>(ucnv_convert(charset, "UTF-8", out.data(), static_cast<int32_t>(out.size()),
                                                utf8.data(), static_cast<int32_t>(utf8.size()), &error)));
    return out;
}

std::vector<uint8_t> MakeIconSys(const std::string& sjisTitle, int16_t lineBreak, const std::string& iconName)
{
    std::vector<uint8_t> bytes(964, 0);
    std::memcpy(bytes.data(), "PS2D", 4);
    bytes[6] = static_cast<uint8_t>(static_cast<uint16_t>(lineBreak) & 0xFF);
    bytes[7] = static_cast<uint8_t>(static_cast<uint16_t>(lineBreak) >> 8);
    std::memcpy(bytes.data() + 0xC0, sjisTitle.data(), std::min<size_t>(sjisTitle.size(), 67));
    for (size_t offset : {0x104u, 0x144u, 0x184u}) {
        std::memcpy(bytes.data() + offset, iconName.data(), std::min<size_t>(iconName.size(), 63));
    }
    return bytes;
}

std::vector<uint8_t> MakePS1Save(const std::string& sjisTitle, int blocks, uint8_t iconFlag)
{
    std::vector<uint8_t> bytes(static_cast<size_t>(blocks) * 8192, 0);
    bytes[0] = 'S';
    bytes[1] = 'C';
    bytes[2] = iconFlag;
    bytes[3] = static_cast<uint8_t>(blocks);
    std::memcpy(bytes.data() + 4, sjisTitle.data(), std::min<size_t>(sjisTitle.size(), 64));
    // Palette: colour i is a grey of level 2i.
    for (int i = 0; i < 16; ++i) {
        const uint16_t level = static_cast<uint16_t>(2 * i);
        const uint16_t colour = static_cast<uint16_t>(level | (level << 5) | (level << 10));
        bytes[0x60 + 2 * i] = static_cast<uint8_t>(colour & 0xFF);
        bytes[0x60 + 2 * i + 1] = static_cast<uint8_t>(colour >> 8);
    }
    return bytes;
}

PipeTrap::PipeTrap(std::string pipePath, std::chrono::milliseconds patience) : path(std::move(pipePath))
{
    fs::create_directories(fs::path(path).parent_path());
    if (::mkfifo(path.c_str(), 0644) != 0) {
        throw std::runtime_error("mkfifo failed: " + path);
    }
    watcher = std::thread([this, patience] {
        std::unique_lock<std::mutex> held(lock);
        if (wake.wait_for(held, patience, [this] { return stopping; })) {
            return;
        }
        while (!stopping) {
            // Opening the writing end without waiting succeeds only when a
            // reader holds the pipe; closing it again ends that reader's read.
            const int writer = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0) {
                sprung = true;
                ::close(writer);
            }
            wake.wait_for(held, std::chrono::milliseconds(50), [this] { return stopping; });
        }
    });
}

PipeTrap::~PipeTrap()
{
    {
        const std::lock_guard<std::mutex> held(lock);
        stopping = true;
    }
    wake.notify_all();
    watcher.join();
}
