#include "BenchSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

void Fail(const std::string& what, const std::string& detail)
{
    std::fprintf(stderr, "%s: %s %s\n", program_invocation_short_name, what.c_str(), detail.c_str());
    std::exit(1);
}

Bytes Filler(size_t size, uint32_t seed)
{
    Bytes bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (uint8_t& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}

void PutText(Bytes& bytes, size_t offset, size_t fieldSize, const std::string& text)
{
    std::memcpy(bytes.data() + offset, text.data(), std::min(text.size(), fieldSize - 1));
}

std::string FullWidthSjis(const std::string& ascii)
{
    std::string sjis;
    for (const char c : ascii) {
        if (c >= 'A' && c <= 'Z') {
            sjis += {'\x82', static_cast<char>(0x60 + (c - 'A'))};
        } else if (c >= '0' && c <= '9') {
            sjis += {'\x82', static_cast<char>(0x4F + (c - '0'))};
        } else {
            sjis += {'\x81', '\x40'};
        }
    }
    return sjis;
}

Bytes BasicIconSys(const std::string& sjisTitle, const std::string& iconName)
{
    using namespace IconSysLayout;
    Bytes bytes(kSize, 0);
    std::memcpy(bytes.data() + kMagic, "PS2D", 4);
    PutText(bytes, kTitle, kTitleSize, sjisTitle);
    if (!iconName.empty()) {
        for (const size_t offset : kIconNames) {
            PutText(bytes, offset, kIconNameSize, iconName);
        }
    }
    return bytes;
}

void WriteWhole(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        Fail("cannot write", path);
    }
}

std::string MakeTemporaryFolder(const std::string& prefix)
{
    std::string pattern = (fs::temp_directory_path() / (prefix + "-XXXXXX")).string();
    return mkdtemp(pattern.data()) == nullptr ? std::string() : pattern;
}

BenchRoot MakeBenchRoot(const std::string& prefix)
{
    const std::string folder = MakeTemporaryFolder(prefix);
    if (folder.empty()) {
        Fail("cannot make a temporary folder in", fs::temp_directory_path().string());
    }
    BenchRoot made{folder + "/", folder + "/program/"};
    fs::create_directories(made.programDirectory);
    return made;
}

std::string FreshFolder(const std::string& root, const std::string& name)
{
    const std::string folder = root + name + "/";
    std::error_code ignored;
    fs::remove_all(folder, ignored);
    fs::create_directories(folder);
    return folder;
}

void RemoveBenchRoot(const std::string& root)
{
    std::error_code ignored;
    fs::current_path(fs::temp_directory_path(), ignored);
    if (!root.empty()) {
        fs::remove_all(root, ignored);
    }
}

bool InitializeInterleaved(int argc, char** argv)
{
    std::vector<char*> arguments(argv, argv + argc);
    static std::string interleave = "--benchmark_enable_random_interleaving=true";
    arguments.insert(arguments.begin() + (argc > 0 ? 1 : 0), interleave.data());
    int count = static_cast<int>(arguments.size());
    arguments.push_back(nullptr);
    benchmark::Initialize(&count, arguments.data());
    return !benchmark::ReportUnrecognizedArguments(count, arguments.data());
}

MedianReporter::MedianReporter() : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_ColorTabular : OO_Tabular) {}

void MedianReporter::ReportRuns(const std::vector<Run>& runs)
{
    for (const Run& run : runs) {
        if (run.run_type == Run::RT_Iteration && !run.error_occurred && run.iterations > 0) {
            seconds[run.run_name.function_name].push_back(run.real_accumulated_time /
                                                          static_cast<double>(run.iterations));
        }
    }
    ConsoleReporter::ReportRuns(runs);
}

double MedianReporter::Median(const std::string& name) const
{
    const auto found = seconds.find(name);
    if (found == seconds.end() || found->second.empty()) {
        return 0;
    }
    std::vector<double> sorted = found->second;
    std::sort(sorted.begin(), sorted.end());
    const size_t middle = sorted.size() / 2;
    return sorted.size() % 2 == 1 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}
