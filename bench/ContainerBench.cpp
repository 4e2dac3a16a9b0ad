// Export to .psu and import back, through the controller operations the
// window uses, next to the floor: the same bytes read from the save folders,
// written as one file per save, read back and written out as folders again.
// Both run on one generated PC folder, in one run, taking turns; the ratio of
// their medians is printed last. The counter user_ms is the CPU time spent
// outside the kernel.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <boost/format.hpp>

#include "BenchSupport.h"
#include "control/Control.h"
#include "control/MemoryView.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"

namespace fs = std::filesystem;

namespace {

constexpr int kSaves = 1000;

// Full-width digits, so that every save's .psu gets a name of its own.
Bytes MakeIconSys(int index)
{
    return BasicIconSys(FullWidthSjis((boost::format("TANSU %04d") % index).str()), "icon.ico");
}

bool ReadWhole(const std::string& path, Bytes& bytes)
{
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct stat status {};
    bool done = fstat(fd, &status) == 0;
    bytes.resize(done ? static_cast<size_t>(status.st_size) : 0);
    size_t filled = 0;
    while (done && filled < bytes.size()) {
        const ssize_t count = read(fd, bytes.data() + filled, bytes.size() - filled);
        done = count > 0;
        filled += done ? static_cast<size_t>(count) : 0;
    }
    close(fd);
    return done;
}

bool WriteWhole(const std::string& path, const uint8_t* data, size_t size)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    size_t written = 0;
    bool done = true;
    while (done && written < size) {
        const ssize_t count = write(fd, data + written, size - written);
        done = count > 0;
        written += done ? static_cast<size_t>(count) : 0;
    }
    return close(fd) == 0 && done;
}

// The names in a folder, in no particular order.
std::vector<std::string> Names(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) {
        Fail("cannot list", folder);
    }
    while (const dirent* entry = readdir(directory)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(directory);
    return names;
}

struct BenchTree {
    std::string root;
    std::string programDirectory;
    std::string pcFolder;
    std::vector<std::string> saveNames;
    uint64_t totalBytes = 0;
};

BenchTree& Tree()
{
    static BenchTree tree;
    return tree;
}

// About 100 KB a save: icon.sys, an icon model, the game's data and a small settings file.
void MakeTree()
{
    BenchTree& tree = Tree();
    const BenchRoot made = MakeBenchRoot("tansu-container-bench");
    tree.root = made.root;
    tree.programDirectory = made.programDirectory;
    tree.pcFolder = tree.root + "pc/";
    fs::create_directories(tree.pcFolder);
    for (int i = 0; i < kSaves; ++i) {
        const std::string name = (boost::format("BASLUS-2%04dBENCH") % i).str();
        const std::string save = tree.pcFolder + name + "/";
        fs::create_directory(save);
        const auto seed = static_cast<uint32_t>(i);
        const std::vector<std::pair<std::string, Bytes>> files = {
            {"icon.sys", MakeIconSys(i)},
            {"icon.ico", Filler(static_cast<size_t>(20000 + 7 * i), 4 * seed)},
            {name, Filler(static_cast<size_t>(72000 + 13 * i), 4 * seed + 1)},
            {"SYSTEM.DAT", Filler(static_cast<size_t>(6000 + 3 * i), 4 * seed + 2)},
        };
        for (const auto& [file, bytes] : files) {
            if (!WriteWhole(save + file, bytes.data(), bytes.size())) {
                Fail("cannot write", save + file);
            }
            tree.totalBytes += bytes.size();
        }
        tree.saveNames.push_back(name);
    }
}

// CPU seconds spent in the program itself, not in the kernel: the steadier
// figure on a machine whose file-system time swings from run to run.
double UserSeconds()
{
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec) + static_cast<double>(usage.ru_utime.tv_usec) / 1e6;
}

std::string FreshFolder(const std::string& name) { return ::FreshFolder(Tree().root, name); }

// A: each save exported as the window's export does it, then each .psu
// imported as the window's import does it. The controller is made once, as
// the window makes it.
void BM_ExportImportPsu(benchmark::State& state)
{
    const BenchTree& tree = Tree();
    double userMs = 0;
    MemoryView view;
    view.SetEditText(Edit::PcFolder, tree.pcFolder);
    Control control(&view);
    const std::vector<ListRow> rows = view.Rows(ListSide::PC);
    if (rows.size() != static_cast<size_t>(kSaves)) {
        state.SkipWithError("the controller did not list every save");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        const std::string exported = FreshFolder("export");
        const std::string imported = FreshFolder("import");
        view.SetEditText(Edit::PcFolder, tree.pcFolder);
        state.ResumeTiming();
        const double userStart = UserSeconds();

        for (const ListRow& row : rows) {
            if (!control.ExportSave(row, 0, exported)) {
                state.SkipWithError("an export failed");
                return;
            }
        }
        view.SetEditText(Edit::PcFolder, imported);
        for (const std::string& file : Names(exported)) {
            if (!control.ImportFile(exported + file)) {
                state.SkipWithError("an import failed");
                return;
            }
        }
        userMs += (UserSeconds() - userStart) * 1000;
    }
    if (Names(tree.root + "import").size() != static_cast<size_t>(kSaves)) {
        state.SkipWithError("the import did not give back every save");
        return;
    }
    state.counters["user_ms"] = benchmark::Counter(userMs, benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations() * kSaves);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(tree.totalBytes));
}

// B: the floor. Every file of every save read and written once into one file
// per save; then each of those read and its files written into a folder again.
void BM_SameBytesFloor(benchmark::State& state)
{
    const BenchTree& tree = Tree();
    Bytes buffer;
    Bytes file;
    double userMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const std::string packed = FreshFolder("floor-packed");
        const std::string unpacked = FreshFolder("floor-unpacked");
        state.ResumeTiming();
        const double userStart = UserSeconds();

        // Each save's file names and lengths, as the one-file form must carry them.
        std::map<std::string, std::vector<std::pair<std::string, size_t>>> layouts;
        for (const std::string& name : tree.saveNames) {
            const std::string save = tree.pcFolder + name + "/";
            buffer.clear();
            auto& layout = layouts[name];
            for (const std::string& fileName : Names(save)) {
                if (!ReadWhole(save + fileName, file)) {
                    Fail("cannot read", save + fileName);
                }
                buffer.insert(buffer.end(), file.begin(), file.end());
                layout.emplace_back(fileName, file.size());
            }
            if (!WriteWhole(packed + name, buffer.data(), buffer.size())) {
                Fail("cannot write", packed + name);
            }
        }
        for (const auto& [name, layout] : layouts) {
            if (!ReadWhole(packed + name, buffer)) {
                Fail("cannot read", packed + name);
            }
            const std::string save = unpacked + name + "/";
            if (mkdir(save.c_str(), 0777) != 0) {
                Fail("cannot make", save);
            }
            size_t offset = 0;
            for (const auto& [fileName, size] : layout) {
                if (!WriteWhole(save + fileName, buffer.data() + offset, size)) {
                    Fail("cannot write", save + fileName);
                }
                offset += size;
            }
        }
        userMs += (UserSeconds() - userStart) * 1000;
    }
    state.counters["user_ms"] = benchmark::Counter(userMs, benchmark::Counter::kAvgIterations);
    state.SetItemsProcessed(state.iterations() * kSaves);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(tree.totalBytes));
}

}  // namespace

// One pass of 1,000 saves takes seconds: a pass per repetition, several repetitions.
BENCHMARK(BM_ExportImportPsu)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_SameBytesFloor)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

int main(int argc, char** argv)
{
    if (!InitializeInterleaved(argc, argv)) {
        return 1;
    }
    MakeTree();
    // The log goes to the temporary program directory.
    SetProgramDirectory(Tree().programDirectory);
    LogOpen();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    LogClose();

    const double a = reporter.Median("BM_ExportImportPsu");
    const double b = reporter.Median("BM_SameBytesFloor");
    if (a > 0 && b > 0) {
        std::printf("\nmedians: export+import psu %.0f ms, same-bytes floor %.0f ms, ratio %.2f (goal: at most 1.50)\n",
                    a * 1000, b * 1000, a / b);
    }
    RemoveBenchRoot(Tree().root);
    return 0;
}
