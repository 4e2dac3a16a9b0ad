// Downloading 40 saves (8 MB) from a loopback FTP server into a PC folder:
// A) the controller's copy to the PC, as the window's "コピー→" runs it, and
// B) the curl command-line tool fetching the same files in one run over one
// connection, in active mode like the controller. Both run in one program
// run, taking turns; the throughput ratio of their medians is printed last,
// then the FTP commands that a first card listing and a refresh send.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <boost/format.hpp>

#include "BenchSupport.h"
#include "control/Control.h"
#include "control/MemoryView.h"
#include "common/Log.h"
#include "common/ProgramDirectory.h"
#include "support/FtpServer.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr int kSaves = 40;
constexpr size_t kDataBytes = 200 * 1024;
constexpr const char* kCurl = "/usr/bin/curl";

// "FTP" and the save's number in full-width Shift-JIS, as real titles are written.
Bytes MakeIconSys(int index)
{
    return BasicIconSys(FullWidthSjis((boost::format("FTP %04d") % index).str()), "");
}

struct BenchTree {
    std::string root;
    std::string programDirectory;
    std::string serverRoot;
    // Each file as "SAVE/FILE" below the card's root.
    std::vector<std::string> files;
    uint64_t totalBytes = 0;
    std::unique_ptr<FtpServer> server;
};

BenchTree& Tree()
{
    static BenchTree tree;
    return tree;
}

// The card in slot 0: each save holds its icon.sys and one 200 KB file.
void MakeTree()
{
    BenchTree& tree = Tree();
    const BenchRoot made = MakeBenchRoot("tansu-ftp-bench");
    tree.root = made.root;
    tree.programDirectory = made.programDirectory;
    tree.serverRoot = tree.root + "server/";
    const std::string card = tree.serverRoot + "mc/0/";
    fs::create_directories(tree.serverRoot + "mc/1");
    for (int i = 0; i < kSaves; ++i) {
        const std::string name = (boost::format("BASLUS-2%04dFTP") % i).str();
        fs::create_directories(card + name);
        const std::vector<std::pair<std::string, Bytes>> files = {
            {"icon.sys", MakeIconSys(i)},
            {name, Filler(kDataBytes, static_cast<uint32_t>(i))},
        };
        for (const auto& [file, bytes] : files) {
            WriteWhole(card + name + "/" + file, bytes);
            tree.files.push_back(name + "/" + file);
            tree.totalBytes += bytes.size();
        }
    }
}

std::string FreshFolder(const std::string& name) { return ::FreshFolder(Tree().root, name); }

// Every file of the card arrived whole below folder.
bool AllArrived(const std::string& folder)
{
    for (const std::string& file : Tree().files) {
        std::error_code error;
        const uintmax_t size = fs::file_size(folder + file, error);
        const bool icon = file.size() >= 9 && file.compare(file.size() - 9, 9, "/icon.sys") == 0;
        if (error || size != (icon ? IconSysLayout::kSize : kDataBytes)) {
            return false;
        }
    }
    return true;
}

// A: the controller connected once, as the window is; each repetition copies
// every save of the card into an empty PC folder.
void BM_ControllerCopyToPC(benchmark::State& state)
{
    MemoryView view;
    view.SetEditText(Edit::PcFolder, FreshFolder("controller"));
    view.SetEditText(Edit::Address, Tree().server->Address());
    Control control(&view);
    view.control = &control;
    control.OnConnectFtp();
    const std::vector<ListRow> rows = view.Rows(ListSide::PS2);
    if (rows.size() != static_cast<size_t>(kSaves)) {
        state.SkipWithError("the controller did not list every save");
        return;
    }
    std::string folder;
    for (auto _ : state) {
        state.PauseTiming();
        folder = FreshFolder("controller");
        view.SetEditText(Edit::PcFolder, folder);
        state.ResumeTiming();
        if (control.CopyToPC(rows).size() != rows.size()) {
            state.SkipWithError("a save was not copied whole");
            return;
        }
    }
    if (!AllArrived(folder)) {
        state.SkipWithError("the copies differ from the card");
        return;
    }
    state.SetItemsProcessed(state.iterations() * kSaves);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Tree().totalBytes));
}

// B: one curl run with every file's URL, each written to its own path.
void BM_CurlTool(benchmark::State& state)
{
    const std::string base = "ftp://" + Tree().server->Address() + "/mc/0/";
    std::string folder;
    for (auto _ : state) {
        state.PauseTiming();
        folder = FreshFolder("curl");
        std::vector<std::string> arguments = {kCurl, "--silent", "--show-error", "--ftp-port", "-", "--create-dirs"};
        for (const std::string& file : Tree().files) {
            arguments.push_back(base + file);
            arguments.push_back("-o");
            arguments.push_back(folder + file);
        }
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        state.ResumeTiming();

        pid_t pid = -1;
        if (posix_spawn(&pid, kCurl, nullptr, nullptr, argv.data(), environ) != 0) {
            state.SkipWithError("curl could not be started");
            return;
        }
        int status = 0;
        pid_t waited = -1;
        do {
            waited = waitpid(pid, &status, 0);
        } while (waited < 0 && errno == EINTR);
        if (waited != pid) {
            state.SkipWithError("curl could not be waited for");
            return;
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("curl failed");
            return;
        }
    }
    if (!AllArrived(folder)) {
        state.SkipWithError("curl's copies differ from the card");
        return;
    }
    state.SetItemsProcessed(state.iterations() * kSaves);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(Tree().totalBytes));
}

// The commands the server received after the first start of them.
std::vector<std::string> CommandsSince(size_t start)
{
    std::vector<std::string> commands = Tree().server->Commands();
    commands.erase(commands.begin(), commands.begin() + static_cast<std::ptrdiff_t>(std::min(start, commands.size())));
    return commands;
}

void PrintCommands(const char* title, const std::vector<std::string>& commands)
{
    std::map<std::string, int> verbs;
    for (const std::string& command : commands) {
        ++verbs[command.substr(0, command.find(' '))];
    }
    std::printf("\n%s: %zu commands (", title, commands.size());
    const char* separator = "";
    for (const auto& [verb, count] : verbs) {
        std::printf("%s%s %d", separator, verb.c_str(), count);
        separator = ", ";
    }
    std::printf(")\n");
    // The login, the card search and the first two saves show the pattern; the rest repeat it.
    const std::string third = (boost::format("BASLUS-2%04dFTP") % 2).str();
    for (const std::string& command : commands) {
        if (command.find(third) != std::string::npos) {
            std::printf("  ... (the same for each further save)\n");
            break;
        }
        std::printf("  %s\n", command.c_str());
    }
}

// A first listing of the card by a newly connected controller, then a refresh.
void ReportListingCommands()
{
    MemoryView view;
    view.SetEditText(Edit::PcFolder, "");
    view.SetEditText(Edit::Address, Tree().server->Address());
    Control control(&view);
    const size_t beforeConnect = Tree().server->Commands().size();
    control.OnConnectFtp();
    const size_t beforeRefresh = Tree().server->Commands().size();
    control.UpdateDataListPS2();
    const std::vector<std::string> connect = CommandsSince(beforeConnect);
    const std::vector<std::string> refresh = CommandsSince(beforeRefresh);
    PrintCommands("FTP commands of the connection and first card listing", connect);
    PrintCommands("FTP commands of a refresh of the unchanged card", refresh);
}

}  // namespace

// One copy of 8 MB takes a fraction of a second: a pass per repetition, many repetitions.
BENCHMARK(BM_ControllerCopyToPC)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(15);
BENCHMARK(BM_CurlTool)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(15);

int main(int argc, char** argv)
{
    if (!InitializeInterleaved(argc, argv)) {
        return 1;
    }
    if (access(kCurl, X_OK) != 0) {
        Fail("needs the curl program (Debian's curl, scripts/setup installs it):", kCurl);
    }
    MakeTree();
    try {
        Tree().server = std::make_unique<FtpServer>(Tree().serverRoot);
    } catch (const std::exception& error) {
        Fail("no FTP server:", error.what());
    }
    // The log and the staging files go to the temporary program directory.
    SetProgramDirectory(Tree().programDirectory);
    LogOpen();
    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double a = reporter.Median("BM_ControllerCopyToPC");
    const double b = reporter.Median("BM_CurlTool");
    if (a > 0 && b > 0) {
        const double megabytes = static_cast<double>(Tree().totalBytes) / (1024.0 * 1024.0);
        std::printf("\nmedians: controller %.0f ms (%.1f MB/s), curl %.0f ms (%.1f MB/s); "
                    "controller throughput / curl throughput %.2f (goal: at least 0.80)\n",
                    a * 1000, megabytes / a, b * 1000, megabytes / b, b / a);
    }
    ReportListingCommands();
    LogClose();
    Tree().server.reset();
    RemoveBenchRoot(Tree().root);
    return 0;
}
