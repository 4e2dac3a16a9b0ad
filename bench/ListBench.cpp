// How long the PC list takes for a large folder, next to the least any lister
// must do with the same files (the floor): enumerate, open and read each
// icon.sys, stat each file. Both run on one generated folder, warm in the page
// cache after the first pass.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

constexpr int kPS2Saves = 1000;
constexpr int kPS1Saves = 200;

// A raw PS1 save's first block.
namespace PS1Layout {
constexpr size_t kBlockSize = 8192;
constexpr size_t kMagic = 0x00;
constexpr size_t kIconFlag = 0x02;
constexpr size_t kBlockCount = 0x03;
constexpr size_t kTitle = 0x04;
constexpr size_t kTitleSize = 64;
constexpr size_t kPalette = 0x60;
constexpr size_t kFirstFrame = 0x80;
constexpr size_t kFrameSize = 128;
}  // namespace PS1Layout

void Put32(Bytes& bytes, size_t offset, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i) {
        bytes[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    }
}

void PutFloat(Bytes& bytes, size_t offset, float value)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    Put32(bytes, offset, bits);
}

Bytes MakeIconSys(int index)
{
    using namespace IconSysLayout;
    const std::string firstLine = FullWidthSjis("TANSU BENCH");
    const std::string secondLine = FullWidthSjis((boost::format("SAVE %04d") % index).str());
    Bytes bytes = BasicIconSys(firstLine + secondLine, "icon.ico");
    bytes[kLineBreak] = static_cast<uint8_t>(firstLine.size());
    Put32(bytes, kBackgroundAlpha, 0x40);
    for (size_t corner = 0; corner < 4; ++corner) {
        for (size_t channel = 0; channel < 4; ++channel) {
            Put32(bytes, kBackgroundColours + 16 * corner + 4 * channel, static_cast<uint32_t>(channel == 3 ? 0 : 0x20 + 0x10 * corner));
        }
    }
    for (size_t light = 0; light < 3; ++light) {
        PutFloat(bytes, kLightDirections + 16 * light, light == 0 ? 0.5f : -0.5f);
        PutFloat(bytes, kLightDirections + 16 * light + 4, 0.5f);
        PutFloat(bytes, kLightDirections + 16 * light + 8, 0.5f);
        for (size_t channel = 0; channel < 4; ++channel) {
            PutFloat(bytes, kLightColours + 16 * light + 4 * channel, 0.25f);
        }
    }
    for (size_t channel = 0; channel < 4; ++channel) {
        PutFloat(bytes, kAmbient + 4 * channel, 0.5f);
    }
    return bytes;
}

Bytes MakePS1Save(int index)
{
    using namespace PS1Layout;
    Bytes bytes(kBlockSize, 0);
    bytes[kMagic] = 'S';
    bytes[kMagic + 1] = 'C';
    bytes[kIconFlag] = 0x11;  // one icon frame
    bytes[kBlockCount] = 1;
    PutText(bytes, kTitle, kTitleSize, FullWidthSjis((boost::format("PS1 BENCH %04d") % index).str()));
    for (size_t colour = 0; colour < 16; ++colour) {
        const auto level = static_cast<uint16_t>(2 * colour);
        const auto value = static_cast<uint16_t>(level | (level << 5) | (level << 10));
        bytes[kPalette + 2 * colour] = static_cast<uint8_t>(value & 0xFF);
        bytes[kPalette + 2 * colour + 1] = static_cast<uint8_t>(value >> 8);
    }
    for (size_t i = 0; i < kFrameSize; ++i) {
        bytes[kFirstFrame + i] = static_cast<uint8_t>(i);
    }
    return bytes;
}

// The generated tree: a program directory and a PC folder, both temporary.
struct BenchTree {
    std::string root;
    std::string programDirectory;
    std::string pcFolder;
};

BenchTree& Tree()
{
    static BenchTree tree;
    return tree;
}

void MakeTree()
{
    BenchTree& tree = Tree();
    const BenchRoot made = MakeBenchRoot("tansu-bench");
    tree.root = made.root;
    tree.programDirectory = made.programDirectory;
    tree.pcFolder = tree.root + "pc/";
    fs::create_directories(tree.pcFolder);

    for (int i = 0; i < kPS2Saves; ++i) {
        const std::string name = (boost::format("BASLUS-2%04dBENCH") % i).str();
        const std::string save = tree.pcFolder + name + "/";
        fs::create_directory(save);
        WriteWhole(save + "icon.sys", MakeIconSys(i));
        // An icon model, the game's data and a small settings file: a few KB each.
        WriteWhole(save + "icon.ico", Bytes(static_cast<size_t>(3000 + i % 500), 0x11));
        WriteWhole(save + name, Bytes(static_cast<size_t>(4096 + 16 * (i % 64)), 0x22));
        WriteWhole(save + "SYSTEM.DAT", Bytes(static_cast<size_t>(1500 + i % 1000), 0x33));
    }
    for (int i = 0; i < kPS1Saves; ++i) {
        WriteWhole(tree.pcFolder + (boost::format("BESLES-0%04dPS1") % i).str(), MakePS1Save(i));
    }
}

// A: the PC list as the window builds it. The controller is made once, as the
// window makes it; each iteration is one refresh.
void BM_UpdateDataListPC(benchmark::State& state)
{
    MemoryView view;
    view.SetEditText(Edit::PcFolder, Tree().pcFolder);
    Control control(&view);
    constexpr int kRows = kPS2Saves + kPS1Saves;
    if (view.RowCount(ListSide::PC) != kRows) {
        state.SkipWithError("the controller did not list every save");
        return;
    }
    for (auto _ : state) {
        control.UpdateDataListPC();
        benchmark::DoNotOptimize(view.RowCount(ListSide::PC));
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}

// B: the floor. Every byte and status the listing needs, with nothing else.
void BM_ReadAndStatFloor(benchmark::State& state)
{
    const std::string& folder = Tree().pcFolder;
    int64_t items = 0;
    for (auto _ : state) {
        uint64_t sum = 0;
        DIR* top = opendir(folder.c_str());
        if (top == nullptr) {
            state.SkipWithError("cannot open the PC folder");
            return;
        }
        const int topFd = dirfd(top);
        while (const dirent* entry = readdir(top)) {
            const char* name = entry->d_name;
            if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
                continue;
            }
            struct stat status {};
            if (fstatat(topFd, name, &status, 0) != 0) {
                continue;
            }
            ++items;
            if (!S_ISDIR(status.st_mode)) {
                sum += static_cast<uint64_t>(status.st_size);
                continue;
            }
            const int saveFd = openat(topFd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (saveFd < 0) {
                continue;
            }
            const int iconFd = openat(saveFd, "icon.sys", O_RDONLY | O_CLOEXEC);
            if (iconFd >= 0) {
                std::array<uint8_t, 512> head{};
                sum += static_cast<uint64_t>(read(iconFd, head.data(), head.size())) + head[0];
                close(iconFd);
            }
            DIR* save = fdopendir(saveFd);  // takes saveFd
            if (save == nullptr) {
                close(saveFd);
                continue;
            }
            while (const dirent* file = readdir(save)) {
                if (std::strcmp(file->d_name, ".") == 0 || std::strcmp(file->d_name, "..") == 0) {
                    continue;
                }
                struct stat fileStatus {};
                if (fstatat(dirfd(save), file->d_name, &fileStatus, 0) == 0) {
                    sum += static_cast<uint64_t>(fileStatus.st_size);
                }
            }
            closedir(save);
        }
        closedir(top);
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(items);
}

}  // namespace

BENCHMARK(BM_UpdateDataListPC)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadAndStatFloor)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    MakeTree();
    // The log and the staging files go to the temporary program directory.
    SetProgramDirectory(Tree().programDirectory);
    LogOpen();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    LogClose();
    RemoveBenchRoot(Tree().root);
    return 0;
}
