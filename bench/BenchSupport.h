#pragma once
// What the benchmark programs share: generated save files, a temporary tree
// to hold them, and the closing comparison of two benchmarks' medians.
#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// icon.sys, by offset: the fields the generated saves fill.
namespace IconSysLayout {
constexpr size_t kSize = 964;
constexpr size_t kMagic = 0x000;
constexpr size_t kLineBreak = 0x006;
constexpr size_t kBackgroundAlpha = 0x00C;
constexpr size_t kBackgroundColours = 0x010;  // 4 x RGBA, 32-bit each
constexpr size_t kLightDirections = 0x050;    // 3 x xyzw float
constexpr size_t kLightColours = 0x080;       // 3 x rgba float
constexpr size_t kAmbient = 0x0B0;            // rgba float
constexpr size_t kTitle = 0x0C0;
constexpr size_t kTitleSize = 68;
constexpr std::array<size_t, 3> kIconNames = {0x104, 0x144, 0x184};
constexpr size_t kIconNameSize = 64;
}  // namespace IconSysLayout

// Prints "<program>: what detail" and ends the program: a bench without its
// files has nothing to measure.
[[noreturn]] void Fail(const std::string& what, const std::string& detail);

// Bytes that do not repeat within a file, different for every seed.
Bytes Filler(size_t size, uint32_t seed);

// Text into a fixed field, cut to leave the closing NUL.
void PutText(Bytes& bytes, size_t offset, size_t fieldSize, const std::string& text);

// ASCII letters, digits and space in their full-width Shift-JIS forms, as
// real titles are written.
std::string FullWidthSjis(const std::string& ascii);

// An icon.sys with the magic, the Shift-JIS title and, unless iconName is
// empty, the same model named for all three icons.
Bytes BasicIconSys(const std::string& sjisTitle, const std::string& iconName);

// Writes the whole file or ends the program.
void WriteWhole(const std::string& path, const Bytes& bytes);

// A new empty folder under the system's temporary folder, named from prefix;
// empty when none could be made.
std::string MakeTemporaryFolder(const std::string& prefix);

// A temporary folder for one run, with the program directory inside it. The
// paths end in '/'. The program ends when the folder cannot be made.
struct BenchRoot {
    std::string root;
    std::string programDirectory;
};
BenchRoot MakeBenchRoot(const std::string& prefix);

// An empty folder of the given name under root, which ends in '/'.
std::string FreshFolder(const std::string& root, const std::string& name);

// Leaves the folder before removing it with everything below it.
void RemoveBenchRoot(const std::string& root);

// Starts Google Benchmark with the benchmarks taking turns, so that a slow
// spell of the machine falls on each; a later
// --benchmark_enable_random_interleaving=false still wins. False when an
// argument was not understood.
bool InitializeInterleaved(int argc, char** argv);

// Collects the real time of every repetition for a closing ratio. The page
// cache of a shared machine makes single runs swing widely, so the ratio is
// taken between medians.
class MedianReporter : public benchmark::ConsoleReporter {
public:
    MedianReporter();
    void ReportRuns(const std::vector<Run>& runs) override;
    // Seconds a pass of the named benchmark function; 0 when it has none.
    double Median(const std::string& name) const;

private:
    std::map<std::string, std::vector<double>> seconds;
};
