// The window's cost, offscreen, against the controller alone:
// 1) a card folder of 200 generated saves listed through the window (a click
//    of the USB connect button; the command runs on the controller's worker
//    thread and the rows reach the list as posted updates) and through the
//    in-memory view, where the controller writes its rows straight into
//    plain fields. Both take turns in one run; the ratio of their medians is
//    printed last, then that of the process's CPU time per listing (a
//    listing mostly waits for an fsync per save, which the wall time shows).
// 2) The whole process's share of a core while the icon pane animates the
//    largest sample icon and nothing else happens (core_percent).
// 3) How long the window's thread could not answer: the longest gap between
//    two ticks of a 10 ms timer on that thread (max_gap_ms) during a copy of
//    100 saves from the card folder to the PC folder, and during an FTP
//    connect to a server that accepts and never answers, until the connect
//    gives up.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <boost/format.hpp>

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

#include "BenchSupport.h"
#include "app/CListCtrlEx.h"
#include "app/CTansuDlg.h"
#include "control/Control.h"
#include "app/IconPane.h"
#include "control/MemoryView.h"
#include "common/DriveType.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"
#include "common/SettingFile.h"
#include "icon/IconModel.h"
#include "save/IconSys.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kListedSaves = 200;
constexpr int kCopiedSaves = 100;
constexpr int kTickMs = 10;
constexpr auto kAnimation = std::chrono::seconds(5);
// The FTP connect gives up by itself after about 10 s; past this the silent
// server hangs up, so that a connect that waits longer still ends.
constexpr auto kConnectLimit = std::chrono::seconds(40);
// How long a command may take to set up a measurement before the bench gives up on it.
constexpr auto kSetupLimit = std::chrono::seconds(60);

struct BenchTree {
    std::string root;
    std::string programDirectory;
    std::string listedCard;
    std::string copiedCard;
    std::string iconCard;
    // Stays empty: the PC side lists nothing while the card is listed.
    std::string emptyPc;
    std::string iconSave;
    uint32_t iconVertices = 0;
};

BenchTree& Tree()
{
    static BenchTree tree;
    return tree;
}

// A PS2 save as a game writes it: icon.sys, an icon model and the game's data.
void MakeSave(const std::string& card, int index)
{
    const std::string name = (boost::format("BASLUS-2%04dWIN") % index).str();
    const std::string save = card + name + "/";
    fs::create_directories(save);
    const auto seed = static_cast<uint32_t>(index);
    WriteWhole(save + "icon.sys", BasicIconSys(FullWidthSjis((boost::format("WINDOW %04d") % index).str()), "icon.ico"));
    WriteWhole(save + "icon.ico", Filler(static_cast<size_t>(3000 + index % 500), seed));
    WriteWhole(save + name, Filler(static_cast<size_t>(16 * 1024 + 64 * (index % 64)), seed + 1));
}

// The sample save whose icon has the most vertices, copied onto a card folder of its own.
void MakeIconCard(BenchTree& tree)
{
    const fs::path samples = fs::path(TANSU_SAMPLES_DIR) / "ps2-saves";
    fs::path best;
    std::error_code error;
    for (const auto& save : fs::directory_iterator(samples, error)) {
        const IconSys sys((save.path() / "icon.sys").string());
        if (!sys.valid || !fs::is_regular_file(save.path() / sys.iconFileNames[0])) {
            continue;
        }
        const IconModel icon((save.path() / sys.iconFileNames[0]).string());
        if (icon.loaded && icon.vertexCount > tree.iconVertices) {
            tree.iconVertices = icon.vertexCount;
            best = save.path();
        }
    }
    if (best.empty()) {
        Fail("no sample save with an icon in", samples.string());
    }
    tree.iconSave = best.filename().string();
    fs::copy(best, fs::path(tree.iconCard) / tree.iconSave, fs::copy_options::recursive, error);
    if (error) {
        Fail("cannot copy the sample save", best.string());
    }
}

void MakeTree()
{
    BenchTree& tree = Tree();
    const BenchRoot made = MakeBenchRoot("tansu-window-bench");
    tree.root = made.root;
    tree.programDirectory = made.programDirectory;
    tree.listedCard = FreshFolder(tree.root, "listed-card");
    tree.copiedCard = FreshFolder(tree.root, "copied-card");
    tree.iconCard = FreshFolder(tree.root, "icon-card");
    tree.emptyPc = FreshFolder(tree.root, "empty-pc");
    for (int i = 0; i < kListedSaves; ++i) {
        MakeSave(tree.listedCard, i);
    }
    for (int i = 0; i < kCopiedSaves; ++i) {
        MakeSave(tree.copiedCard, i);
    }
    MakeIconCard(tree);
}

double ProcessCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The process's CPU time per listing, each repetition's, by benchmark: the
// wall time of a listing mostly waits for the disk.
std::map<std::string, std::vector<double>>& ListingCpu()
{
    static std::map<std::string, std::vector<double>> seconds;
    return seconds;
}

double MedianOf(std::vector<double> values)
{
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double Milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

// The window as a user starts it: its settings name the PC folder and the card folder.
std::unique_ptr<CTansuDlg> OpenWindow(const std::string& pcFolder, const std::string& cardFolder, bool showIcon)
{
    SettingFile settings;
    settings.SetString(SettingFile::kApplicationSection, "EDIT1", pcFolder);
    settings.SetString(SettingFile::kApplicationSection, "EDIT2", cardFolder);
    settings.SetInt("CHECK_BOX" + std::to_string(static_cast<int>(Option::ShowIcon)), showIcon ? 1 : 0);
    if (!settings.Save(Tree().programDirectory + "setting.ini")) {
        Fail("cannot write the settings in", Tree().programDirectory);
    }
    auto dialog = std::make_unique<CTansuDlg>(nullptr, Tree().programDirectory);
    dialog->show();
    QCoreApplication::processEvents();
    return dialog;
}

QAbstractButton* Button(const CTansuDlg& dialog, ControlId id)
{
    // The 中止 button is no control of the dialog's layout: it is found by its name.
    return id == IDC_BUTTON_CANCEL ? dialog.findChild<QAbstractButton*>(QStringLiteral("IDC_%1").arg(static_cast<int>(id)))
                                   : qobject_cast<QAbstractButton*>(dialog.WidgetById(id));
}

// Quits a loop once the window has shown a command's end: the 中止 button goes
// off right after the window marks the command as ended.
class CommandEndWatcher : public QObject {
public:
    CommandEndWatcher(const CTansuDlg& window, QEventLoop& eventLoop) : dialog(window), loop(eventLoop) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange && !dialog.IsCommandRunning()) {
            loop.quit();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const CTansuDlg& dialog;
    QEventLoop& loop;
};

// Lets the window's event loop run, asleep while nothing happens as the
// program's own loop is, until the running command has ended; false when it
// had not ended within the limit. Neither WaitForCommand (it polls without
// sleeping) nor a polling timer: on this kind of virtual machine a process
// that wakes every millisecond sees its fsync calls return two to three times
// sooner, and a card listing makes one per save, so either would flatter the window.
bool RunUntilCommandEnds(const CTansuDlg& dialog)
{
    if (!dialog.IsCommandRunning()) {
        return true;
    }
    QEventLoop loop;
    CommandEndWatcher watcher(dialog, loop);
    Button(dialog, IDC_BUTTON_CANCEL)->installEventFilter(&watcher);
    // A command that never ends must not hold the bench for ever.
    QTimer::singleShot(kSetupLimit, &loop, &QEventLoop::quit);
    loop.exec();
    Button(dialog, IDC_BUTTON_CANCEL)->removeEventFilter(&watcher);
    return !dialog.IsCommandRunning();
}

// Starts a command with a click and lets the window run until it has ended.
bool ClickAndWait(CTansuDlg& dialog, ControlId id)
{
    Button(dialog, id)->click();
    return RunUntilCommandEnds(dialog);
}

// Runs the window's events for a while, as its own event loop does.
void RunEventsFor(std::chrono::milliseconds duration)
{
    QEventLoop loop;
    QTimer::singleShot(duration, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

// A: the window's listing. The window is opened once per repetition, as a user
// opens it; each iteration is one connect of the card (a disconnect first, outside
// the timing, since a connected card leaves the connect button off).
void BM_ListCardInWindow(benchmark::State& state)
{
    const std::unique_ptr<CTansuDlg> dialog = OpenWindow(Tree().emptyPc, Tree().listedCard, false);
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (Button(*dialog, IDC_BUTTON_DISCONNECT)->isEnabled() && !ClickAndWait(*dialog, IDC_BUTTON_DISCONNECT)) {
            state.SkipWithError("the disconnect did not end");
            return;
        }
        const double before = ProcessCpuSeconds();
        state.ResumeTiming();
        const bool ended = ClickAndWait(*dialog, IDC_BUTTON_USB_CONNECT);
        state.PauseTiming();
        cpu += ProcessCpuSeconds() - before;
        state.ResumeTiming();
        if (!ended) {
            state.SkipWithError("the listing did not end");
            return;
        }
    }
    if (dialog->RowCount(ListSide::PS2) != kListedSaves) {
        state.SkipWithError("the window did not list every save");
        return;
    }
    state.counters["process_cpu_ms"] = 1000 * cpu / static_cast<double>(state.iterations());
    ListingCpu()["window"].push_back(cpu / static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations() * kListedSaves);
}

// B: the same listing by a controller over the in-memory view, made once per
// repetition like the window's.
void BM_ListCardInMemoryView(benchmark::State& state)
{
    MemoryView view;
    view.SetEditText(Edit::PcFolder, Tree().emptyPc);
    view.SetEditText(Edit::UsbFolder, Tree().listedCard);
    Control control(&view);
    view.control = &control;
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (control.IsCardConnected()) {
            control.OnDisconnect();
        }
        const double before = ProcessCpuSeconds();
        state.ResumeTiming();
        control.OnConnectUSBMemory();
        state.PauseTiming();
        cpu += ProcessCpuSeconds() - before;
        state.ResumeTiming();
    }
    if (view.RowCount(ListSide::PS2) != kListedSaves) {
        state.SkipWithError("the controller did not list every save");
        return;
    }
    state.counters["process_cpu_ms"] = 1000 * cpu / static_cast<double>(state.iterations());
    ListingCpu()["memory"].push_back(cpu / static_cast<double>(state.iterations()));
    state.SetItemsProcessed(state.iterations() * kListedSaves);
}

// The icon of the card's only save turning in the pane, the window otherwise
// idle: everything the process spends (window thread, rendering thread, the
// controller's worker) over five seconds of wall time.
void BM_IconPaneIdle(benchmark::State& state)
{
    const std::unique_ptr<CTansuDlg> dialog = OpenWindow(Tree().emptyPc, Tree().iconCard, true);
    auto* pane = qobject_cast<IconPane*>(dialog->WidgetById(IDC_STATIC_ICON));
    CListCtrlEx* cardList = dialog->List(ListSide::PS2);
    if (pane == nullptr || !ClickAndWait(*dialog, IDC_BUTTON_USB_CONNECT) || cardList->topLevelItemCount() != 1) {
        state.SkipWithError("the sample save was not listed");
        return;
    }
    cardList->setCurrentItem(cardList->topLevelItem(0));
    emit cardList->itemClicked(cardList->topLevelItem(0), 0);
    if (!RunUntilCommandEnds(*dialog)) {
        state.SkipWithError("the icon was not fetched");
        return;
    }
    // The first frame comes once the icon is loaded; the animation is measured from then on.
    const Clock::time_point deadline = Clock::now() + kSetupLimit;
    while (pane->ShownCount() == 0 && Clock::now() < deadline) {
        RunEventsFor(std::chrono::milliseconds(kTickMs));
    }
    if (pane->ShownCount() == 0) {
        state.SkipWithError("the pane showed no frame of the icon");
        return;
    }
    for (auto _ : state) {
        const uint64_t presented = pane->PresentedCount();
        const uint64_t shown = pane->ShownCount();
        const double cpu = ProcessCpuSeconds();
        const Clock::time_point start = Clock::now();
        RunEventsFor(std::chrono::duration_cast<std::chrono::milliseconds>(kAnimation));
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        state.counters["core_percent"] = 100.0 * (ProcessCpuSeconds() - cpu) / wall;
        state.counters["frames_presented_per_second"] = static_cast<double>(pane->PresentedCount() - presented) / wall;
        state.counters["frames_shown_per_second"] = static_cast<double>(pane->ShownCount() - shown) / wall;
    }
    state.counters["vertices"] = Tree().iconVertices;
}

// The ticks of a 10 ms timer on the window's thread from a command's start
// (the click, on that same thread) to its end.
struct Ticks {
    double maxGapMs = 0;
    // When the longest gap began, from the click.
    double maxGapAtMs = 0;
    // How long the click itself held the window's thread.
    double clickMs = 0;
    double commandMs = 0;
    int count = 0;
    bool ended = false;
};

// Runs the window's event loop from start() until the command ends. When it
// has not ended after limit, atLimit() is called once (it should make the
// command end); the ticks go on until it does.
Ticks TickThroughCommand(const CTansuDlg& dialog, const std::function<void()>& start, Clock::duration limit,
                         const std::function<void()>& atLimit)
{
    Ticks ticks;
    QEventLoop loop;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(kTickMs);
    Clock::time_point begin;
    Clock::time_point last;
    bool limitReached = false;
    QObject::connect(&ticker, &QTimer::timeout, &loop, [&] {
        const Clock::time_point now = Clock::now();
        const double gap = Milliseconds(now - last);
        if (gap > ticks.maxGapMs) {
            ticks.maxGapMs = gap;
            ticks.maxGapAtMs = Milliseconds(last - begin);
        }
        last = now;
        ++ticks.count;
        if (!dialog.IsCommandRunning()) {
            ticks.commandMs = Milliseconds(now - begin);
            loop.quit();
        } else if (!limitReached && now - begin > limit) {
            limitReached = true;
            atLimit();
        }
    });
    ticker.start();
    begin = Clock::now();
    last = begin;
    start();
    ticks.clickMs = Milliseconds(Clock::now() - begin);
    loop.exec();
    ticks.ended = !dialog.IsCommandRunning();
    return ticks;
}

void ReportTicks(benchmark::State& state, const Ticks& ticks)
{
    state.counters["max_gap_ms"] = ticks.maxGapMs;
    state.counters["max_gap_at_ms"] = ticks.maxGapAtMs;
    state.counters["click_ms"] = ticks.clickMs;
    state.counters["ticks"] = ticks.count;
}

int SavesIn(const std::string& folder)
{
    int count = 0;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        count += entry.is_directory() ? 1 : 0;
    }
    return count;
}

// Every card row ticked and copied into an empty PC folder with "コピー→".
void BM_WindowGapDuringCopy(benchmark::State& state)
{
    const std::unique_ptr<CTansuDlg> dialog = OpenWindow(Tree().emptyPc, Tree().copiedCard, false);
    if (!ClickAndWait(*dialog, IDC_BUTTON_USB_CONNECT) || dialog->RowCount(ListSide::PS2) != kCopiedSaves) {
        state.SkipWithError("the card was not listed");
        return;
    }
    std::string pcFolder;
    Ticks ticks;
    for (auto _ : state) {
        state.PauseTiming();
        pcFolder = FreshFolder(Tree().root, "copy-pc");
        dialog->SetEditText(Edit::PcFolder, pcFolder);
        if (!ClickAndWait(*dialog, IDC_BUTTON_REFRESH_PC)) {
            state.SkipWithError("the PC list was not refreshed");
            return;
        }
        dialog->List(ListSide::PS2)->SetAllTicked(true);
        state.ResumeTiming();
        ticks = TickThroughCommand(
            *dialog, [&dialog] { Button(*dialog, IDC_BUTTON_COPY_TO_PC)->click(); }, kSetupLimit,
            [&dialog] { Button(*dialog, IDC_BUTTON_CANCEL)->click(); });
        if (!ticks.ended) {
            state.SkipWithError("the copy did not end");
            return;
        }
    }
    if (SavesIn(pcFolder) != kCopiedSaves || dialog->RowCount(ListSide::PC) != kCopiedSaves) {
        state.SkipWithError("the window did not copy every save");
        return;
    }
    ReportTicks(state, ticks);
    state.SetItemsProcessed(state.iterations() * kCopiedSaves);
}

// A loopback listener that accepts and never says a word: an FTP server that
// hangs before its greeting. Its thread ends with the object.
class SilentServer {
public:
    SilentServer()
    {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener, 4) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            if (listener >= 0) {
                close(listener);
            }
            listener = -1;
            return;
        }
        port = ntohs(address.sin_port);
        worker = std::thread([this] { Serve(); });
    }
    ~SilentServer()
    {
        stop = true;
        if (worker.joinable()) {
            worker.join();
        }
        if (listener >= 0) {
            close(listener);
        }
    }
    SilentServer(const SilentServer&) = delete;
    SilentServer& operator=(const SilentServer&) = delete;

    bool Listening() const { return listener >= 0; }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port); }
    int Accepted() const { return accepted.load(); }
    // Closes every connection: a client still waiting for the greeting fails at once.
    void HangUp() { hangUp = true; }

private:
    void Serve()
    {
        std::vector<int> clients;
        while (!stop) {
            pollfd waiting{listener, POLLIN, 0};
            if (poll(&waiting, 1, 50) > 0) {
                const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (client >= 0) {
                    clients.push_back(client);
                    ++accepted;
                }
            }
            if (hangUp) {
                for (const int client : clients) {
                    close(client);
                }
                clients.clear();
            }
        }
        for (const int client : clients) {
            close(client);
        }
    }

    int listener = -1;
    uint16_t port = 0;
    std::atomic<bool> stop{false};
    std::atomic<bool> hangUp{false};
    std::atomic<int> accepted{0};
    std::thread worker;
};

// "FTP接続" to a server that never answers, until the connect gives up by itself.
void BM_WindowGapDuringSilentFtpConnect(benchmark::State& state)
{
    const std::unique_ptr<CTansuDlg> dialog = OpenWindow(Tree().emptyPc, std::string(), false);
    Ticks ticks;
    bool hungUp = false;
    for (auto _ : state) {
        SilentServer server;
        if (!server.Listening()) {
            state.SkipWithError("no loopback listener");
            return;
        }
        dialog->SetEditText(Edit::Address, server.Address());
        ticks = TickThroughCommand(
            *dialog, [&dialog] { Button(*dialog, IDC_BUTTON_FTP_CONNECT)->click(); }, kConnectLimit,
            [&server, &hungUp] {
                hungUp = true;
                server.HangUp();
            });
        if (server.Accepted() == 0) {
            state.SkipWithError("the connect never reached the listener");
            return;
        }
    }
    if (!ticks.ended) {
        state.SkipWithError("the connect did not end");
        return;
    }
    if (dialog->RowCount(ListSide::PS2) != 0) {
        state.SkipWithError("a silent server counted as connected");
        return;
    }
    ReportTicks(state, ticks);
    state.counters["connect_s"] = ticks.commandMs / 1000.0;
    // 1 when the connect had to be ended by hanging up: it did not give up by itself.
    state.counters["hung_up"] = hungUp ? 1 : 0;
}

}  // namespace

// Interleaved, so that a slow spell of the shared machine falls on both listings.
BENCHMARK(BM_ListCardInWindow)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(11);
BENCHMARK(BM_ListCardInMemoryView)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(11);
BENCHMARK(BM_IconPaneIdle)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_WindowGapDuringCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);
BENCHMARK(BM_WindowGapDuringSilentFtpConnect)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

int main(int argc, char** argv)
{
    if (!InitializeInterleaved(argc, argv)) {
        return 1;
    }
    // Offscreen, as the window's tests run it: no display needed, and the same on every machine.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    MakeTree();
    // Any folder counts as a card: the generated ones lie on the system's disk.
    SetRemovableDriveProbe([](const std::string&) { return true; });
    // The log, the settings and the staging files go to the temporary program directory.
    SetProgramDirectory(Tree().programDirectory);
    LogOpen();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double window = reporter.Median("BM_ListCardInWindow");
    const double memory = reporter.Median("BM_ListCardInMemoryView");
    if (window > 0 && memory > 0) {
        std::printf("\nmedians of the %d-save card listing: window %.1f ms, in-memory view %.1f ms; "
                    "window / in-memory view %.2f (goal: at most 1.50)\n",
                    kListedSaves, window * 1000, memory * 1000, window / memory);
    }
    const double windowCpu = MedianOf(ListingCpu()["window"]);
    const double memoryCpu = MedianOf(ListingCpu()["memory"]);
    if (windowCpu > 0 && memoryCpu > 0) {
        std::printf("medians of the process's CPU time per listing: window %.1f ms, in-memory view %.1f ms; "
                    "window / in-memory view %.2f\n",
                    windowCpu * 1000, memoryCpu * 1000, windowCpu / memoryCpu);
    }
    std::printf("icon pane: %s, %u vertices (goal: core_percent at most 5); "
                "window thread gaps: goal max_gap_ms at most 50\n",
                Tree().iconSave.c_str(), Tree().iconVertices);
    LogClose();
    SetRemovableDriveProbe(nullptr);
    RemoveBenchRoot(Tree().root);
    return 0;
}
