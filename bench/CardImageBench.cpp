// A full 8 MB PS2 card image next to the same saves as a folder card, both
// through the controller as the window drives them: connecting and listing
// every save, and copying every save to the PC.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include <boost/format.hpp>

#include "BenchSupport.h"
#include "card/Ps2CardImage.h"
#include "common/DriveType.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"
#include "control/Control.h"
#include "control/MemoryView.h"

namespace fs = std::filesystem;

namespace {

// Saves of about 60 KB each, as many as an 8 MB card takes.
constexpr int kSaves = 125;

// The same saves twice: as the folder card and inside the image, both under base.
struct CardTree {
    BenchRoot base;
    std::string folderCard;
    std::string image;
};

CardTree tree;

void MakeTree()
{
    tree.base = MakeBenchRoot("tansu-card-bench");
    tree.folderCard = FreshFolder(tree.base.root, "card");
    tree.image = tree.base.root + "card.ps2";
    const auto now = static_cast<int64_t>(std::time(nullptr));
    Ps2CardImage card(Ps2CardImage::Format(8, true, now));
    std::string why;
    for (int i = 0; i < kSaves; ++i) {
        const std::string name = (boost::format("BASLUS-2%04dBENCH") % i).str();
        const std::vector<std::pair<std::string, Bytes>> files = {
            {"icon.sys", BasicIconSys(FullWidthSjis((boost::format("SAVE %04d") % i).str()), "icon.ico")},
            {"icon.ico", Filler(static_cast<size_t>(3000 + i % 500), static_cast<uint32_t>(i))},
            {name, Filler(static_cast<size_t>(55000 + 16 * (i % 64)), static_cast<uint32_t>(i + 1000))},
        };
        fs::create_directory(tree.folderCard + name);
        if (!card.MakeDirectory(name, now, why)) {
            Fail("cannot make the image", why);
        }
        for (const auto& [file, bytes] : files) {
            WriteWhole(tree.folderCard + name + "/" + file, bytes);
            if (!card.WriteFile(name, file, bytes, now, now, now, why)) {
                Fail("cannot fill the image", why);
            }
        }
    }
    WriteWhole(tree.image, card.Bytes());
    std::printf("%d saves; %u of 7998 clusters left free on the image\n", kSaves, card.FreeClusters());
}

// The card behind the window's USB field: the folder or the image file.
struct Session {
    explicit Session(const std::string& card)
    {
        view.SetEditText(Edit::UsbFolder, card);
        view.SetEditText(Edit::PcFolder, tree.base.root + "pc");
        control = std::make_unique<Control>(&view);
    }
    MemoryView view;
    std::unique_ptr<Control> control;
};

// A: connecting lists the whole card afresh (the row cache is for one connection).
void ConnectAndList(benchmark::State& state, const std::string& card)
{
    Session session(card);
    for (auto _ : state) {
        session.control->OnConnectUSBMemory();
        if (session.view.RowCount(ListSide::PS2) != kSaves) {
            state.SkipWithError("the card did not list every save");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kSaves);
}

void BM_ListImage(benchmark::State& state) { ConnectAndList(state, tree.image); }
void BM_ListFolderCard(benchmark::State& state) { ConnectAndList(state, tree.folderCard); }

// B: every save copied to an empty PC folder.
void CopyAllOut(benchmark::State& state, const std::string& card)
{
    Session session(card);
    session.control->OnConnectUSBMemory();
    const std::vector<ListRow> rows = session.view.Rows(ListSide::PS2);
    const std::string pc = tree.base.root + "pc";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(pc);
        fs::create_directory(pc);
        state.ResumeTiming();
        if (session.control->CopyToPC(rows).size() != static_cast<size_t>(kSaves)) {
            state.SkipWithError("not every save was copied");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * kSaves);
}

void BM_CopyOutOfImage(benchmark::State& state) { CopyAllOut(state, tree.image); }
void BM_CopyOutOfFolderCard(benchmark::State& state) { CopyAllOut(state, tree.folderCard); }

}  // namespace

BENCHMARK(BM_ListImage)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_ListFolderCard)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5);
BENCHMARK(BM_CopyOutOfImage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(BM_CopyOutOfFolderCard)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

int main(int argc, char** argv)
{
    if (!InitializeInterleaved(argc, argv)) {
        return 1;
    }
    MakeTree();
    SetProgramDirectory(tree.base.programDirectory);
    LogOpen();
    // Both cards live on the machine's own disk.
    SetRemovableDriveProbe([](const std::string&) { return true; });
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    LogClose();
    const double listImage = reporter.Median("BM_ListImage");
    const double listFolder = reporter.Median("BM_ListFolderCard");
    const double copyImage = reporter.Median("BM_CopyOutOfImage");
    const double copyFolder = reporter.Median("BM_CopyOutOfFolderCard");
    if (listImage > 0 && listFolder > 0 && copyImage > 0 && copyFolder > 0) {
        std::printf("\nmedians: list image %.1f ms, folder card %.1f ms, ratio %.2f; copy out image %.0f ms, "
                    "folder card %.0f ms, ratio %.2f (goal: at most 2.00 each)\n",
                    listImage * 1000, listFolder * 1000, listImage / listFolder, copyImage * 1000, copyFolder * 1000,
                    copyImage / copyFolder);
    }
    RemoveBenchRoot(tree.base.root);
    return 0;
}
