// The icon pane's cost: one frame of the largest real sample icon (by vertex
// count) at the pane's size, and the rendering thread's share of one core
// while that icon animates for five seconds.
#include <time.h>

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "icon/IconModel.h"
#include "icon/IconObjectPS2.h"
#include "icon/IconRendererOwner.h"
#include "icon/IconRenderingManager.h"
#include "save/IconSys.h"

namespace fs = std::filesystem;

namespace {

// The icon pane: 132 x 132.
constexpr uint32_t kPane = 132;
constexpr auto kAnimation = std::chrono::seconds(5);

struct SampleIcon {
    std::string iconSys;
    uint32_t vertices = 0;
};

// A folder made for a loose icon file, removed at exit.
struct MadeFolder {
    std::string path;
    ~MadeFolder()
    {
        std::error_code ignored;
        if (!path.empty()) {
            fs::remove_all(path, ignored);
        }
    }
};

// The sample icon with the most vertices, from the save folders (their own
// icon.sys) and the loose icon files (copied beside an icon.sys made for them).
SampleIcon LargestSampleIcon()
{
    const fs::path samples(TANSU_SAMPLES_DIR);
    SampleIcon best;
    std::error_code error;
    auto consider = [&best](const std::string& iconSys, const std::string& model) {
        const IconModel icon(model);
        if (icon.loaded && icon.vertexCount > best.vertices) {
            best.iconSys = iconSys;
            best.vertices = icon.vertexCount;
        }
    };
    for (const auto& save : fs::directory_iterator(samples / "ps2-saves", error)) {
        const IconSys sys((save.path() / "icon.sys").string());
        if (sys.valid && fs::is_regular_file(save.path() / sys.iconFileNames[0])) {
            consider((save.path() / "icon.sys").string(), (save.path() / sys.iconFileNames[0]).string());
        }
    }
    std::string looseIcon;
    uint32_t before = best.vertices;
    for (const auto& file : fs::directory_iterator(samples / "ps2-icons", error)) {
        consider(file.path().string(), file.path().string());
        if (best.vertices != before) {
            looseIcon = file.path().string();
            before = best.vertices;
        }
    }
    if (!looseIcon.empty()) {
        const std::string folder = MakeTemporaryFolder("tansu-icon-bench");
        if (folder.empty()) {
            return {};
        }
        const fs::path copy = fs::path(folder) / fs::path(looseIcon).filename();
        fs::copy_file(looseIcon, copy, error);
        // An icon.sys for a loose icon file: the magic and the three icon names.
        WriteWhole((fs::path(folder) / "icon.sys").string(), BasicIconSys("", copy.filename().string()));
        best.iconSys = (fs::path(folder) / "icon.sys").string();
        static MadeFolder made;
        made.path = folder;
    }
    return best;
}

const SampleIcon& Largest()
{
    static const SampleIcon icon = LargestSampleIcon();
    return icon;
}

double ThreadCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

void BM_RenderLargestIcon(benchmark::State& state)
{
    const SampleIcon& icon = Largest();
    const auto device = IconRenderingManager::MakePaneDevice(kPane, kPane);
    IconObjectPS2 object(icon.iconSys, device.get());
    if (!object.IsReady()) {
        state.SkipWithError("no sample icon to draw");
        return;
    }
    uint32_t time = 0;
    for (auto _ : state) {
        object.Update(time);
        object.Render();
        benchmark::ClobberMemory();
        time += 16;
    }
    state.counters["vertices"] = icon.vertices;
}
BENCHMARK(BM_RenderLargestIcon)->Unit(benchmark::kMillisecond);

// Measures on the rendering thread itself: PresentIconFrame runs there.
class MeasuringOwner : public IconRendererOwner {
public:
    bool IsIconShown() const override { return true; }
    void PresentIconFrame(const DeviceFrame&) override
    {
        const std::lock_guard guard(mutex);
        const double cpu = ThreadCpuSeconds();
        const auto wall = std::chrono::steady_clock::now();
        if (frames++ == 0) {
            firstCpu = cpu;
            firstWall = wall;
        }
        lastCpu = cpu;
        lastWall = wall;
    }

    std::mutex mutex;
    uint64_t frames = 0;
    double firstCpu = 0, lastCpu = 0;
    std::chrono::steady_clock::time_point firstWall, lastWall;
};

void BM_RenderingThreadCpu(benchmark::State& state)
{
    const SampleIcon& icon = Largest();
    for (auto _ : state) {
        MeasuringOwner owner;
        {
            IconRenderingManager renderer(&owner, kPane, kPane);
            renderer.ShowIcon("largest", icon.iconSys);
            std::this_thread::sleep_for(kAnimation);
        }
        const std::lock_guard guard(owner.mutex);
        const double wall = std::chrono::duration<double>(owner.lastWall - owner.firstWall).count();
        if (owner.frames < 2 || wall <= 0) {
            state.SkipWithError("no frames drawn");
            return;
        }
        state.counters["core_percent"] = 100.0 * (owner.lastCpu - owner.firstCpu) / wall;
        state.counters["frames_per_second"] = static_cast<double>(owner.frames - 1) / wall;
    }
    state.counters["vertices"] = icon.vertices;
}
BENCHMARK(BM_RenderingThreadCpu)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
