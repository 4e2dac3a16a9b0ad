// A hunt for lost saves. Random sequences of copies, moves, deletions, exports
// and imports run between a PC folder, a folder card and both slots of a
// loopback FTP server that is stopped (also in the middle of a command) and
// started again, on names that collide: a PC file named like a card save, names
// with spaces, numbered backups, the same name in both slots. After every step
// each save that ever existed stands whole in at least one place, unless the
// user deleted or overwrote it, and no file we write stands half written under
// its final name.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "ControlTestFixture.h"
#include "FtpServer.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;
using FileSet = std::map<std::string, Bytes>;
// What a save holds, whole: its files' names and bytes (a PS1 save: its bytes).
using Content = std::string;

Content Ps2Content(const FileSet& files)
{
    std::string content = "PS2";
    for (const auto& [name, bytes] : files) {
        content += '\0' + name + '\0' + std::to_string(bytes.size()) + '\0' + std::string(bytes.begin(), bytes.end());
    }
    return content;
}

Content Ps1Content(const Bytes& bytes) { return "PS1" + std::string(bytes.begin(), bytes.end()); }

bool IsTemporary(const fs::path& path) { return path.filename().string().starts_with(".tansu-"); }

// Everything that stands in a folder of saves (the PC folder or a card root).
struct Scan {
    std::set<Content> saves;
    // file name + bytes of every file found, for the half-written check
    std::set<std::string> files;
    std::vector<std::string> temporaries;
};

void ScanFolder(const fs::path& root, Scan& scan)
{
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(root, error)) {
        const std::string name = entry.path().filename().string();
        if (IsTemporary(entry.path())) {
            scan.temporaries.push_back(entry.path().string());
        } else if (entry.is_directory()) {
            FileSet files;
            for (const auto& file : fs::directory_iterator(entry.path())) {
                if (IsTemporary(file.path())) {
                    scan.temporaries.push_back(file.path().string());
                } else if (file.is_regular_file()) {
                    files[file.path().filename().string()] = ReadBytes(file.path().string());
                }
            }
            scan.saves.insert(Ps2Content(files));
            for (const auto& [file, bytes] : files) {
                scan.files.insert(file + '\0' + std::string(bytes.begin(), bytes.end()));
            }
            if (files.size() == 1 && files.begin()->first == name) {
                scan.saves.insert(Ps1Content(files.begin()->second));
            }
        } else if (entry.is_regular_file()) {
            scan.saves.insert(Ps1Content(ReadBytes(entry.path().string())));
        }
    }
}

// What a card shows for a PC name: a backup's number is not part of it.
std::string CardNameOf(const std::string& pcName)
{
    const size_t n = pcName.size();
    if (n > 4 && pcName[n - 4] == '.' && std::isdigit(static_cast<unsigned char>(pcName[n - 3])) &&
        std::isdigit(static_cast<unsigned char>(pcName[n - 2])) && std::isdigit(static_cast<unsigned char>(pcName[n - 1]))) {
        return pcName.substr(0, n - 4);
    }
    return pcName;
}

enum class Card { Folder, Ftp0, Ftp1 };

class SaveHunt : public ControlTest {
protected:
    explicit SaveHunt(unsigned seed) : random(seed) {}

    void SetUp() override
    {
        fs::create_directories(ftpRoot + "mc/0");
        fs::create_directories(ftpRoot + "mc/1");
        fs::create_directories(exportFolder);
        // Colliding names from the start.
        AddPs2(pcFolder, "BESLES-10001AAA");
        AddPs2(pcFolder, "BESLES-10001AAA.000");
        AddPs2(cardFolder, "BESLES-10001AAA");
        AddPs2(cardFolder, "AAA 0");
        AddPs2(cardFolder, "BBB 0");
        AddPs2(cardFolder, "0");
        AddPs1(cardFolder, "BASLUS-00974YVES  0");
        AddPs2(cardFolder, "SAME");
        AddJunk(pcFolder + "SAME");
        AddPs2(ftpRoot + "mc/0/", "SAME");
        AddPs2(ftpRoot + "mc/1/", "SAME");
        AddPs2(ftpRoot + "mc/1/", "AAA 0");
        AddPs1(ftpRoot + "mc/0/", "BASLUS-00001P1");
        server = std::make_unique<FtpServer>(ftpRoot);
        StartConnected();
    }

    std::string CardRoot() const
    {
        return current == Card::Folder ? cardFolder : ftpRoot + (current == Card::Ftp0 ? "mc/0/" : "mc/1/");
    }

    // A save of a few small files, unique by its number.
    void AddPs2(const std::string& folder, const std::string& name)
    {
        FileSet files{{"icon.sys", MakeIconSys("T" + std::to_string(made))}};
        Bytes data(1 + random() % 3000);
        for (size_t i = 0; i < data.size(); ++i) {
            data[i] = static_cast<uint8_t>(random());
        }
        data[0] = static_cast<uint8_t>(made);
        files["data" + std::to_string(random() % 3)] = data;
        for (const auto& [file, bytes] : files) {
            WriteBytes(folder + name + "/" + file, bytes);
        }
        Remember(Ps2Content(files), files, "PS2 save #" + std::to_string(made) + " made as " + folder + name);
    }

    void AddPs1(const std::string& folder, const std::string& name)
    {
        Bytes bytes = MakePS1Save("P" + std::to_string(made));
        bytes[4096] = static_cast<uint8_t>(made);
        bytes[4097] = static_cast<uint8_t>(made >> 8);
        WriteBytes(folder == pcFolder ? folder + name : folder + name + "/" + name, bytes);
        Remember(Ps1Content(bytes), {{name, bytes}}, "PS1 save #" + std::to_string(made) + " made as " + folder + name);
    }

    // A plain PC file that is no save at all, still the user's.
    void AddJunk(const std::string& path)
    {
        Bytes bytes(1024, static_cast<uint8_t>(made));
        WriteBytes(path, bytes);
        Remember(Ps1Content(bytes), {{fs::path(path).filename().string(), bytes}}, "plain file #" + std::to_string(made) + " " + path);
    }

    void Remember(const Content& content, const FileSet& files, const std::string& description)
    {
        ++made;
        required.insert(content);
        descriptions[content] = description;
        for (const auto& [file, bytes] : files) {
            knownFiles.insert(file + '\0' + std::string(bytes.begin(), bytes.end()));
        }
        // A PS1 save travels under any name; its bytes are what count.
        if (content.starts_with("PS1")) {
            knownPs1.insert(content);
        }
    }

    // Ticks each row with probability one in three; the contents of what is ticked, where it stands.
    std::set<Content> TickSome(ListSide side, const std::string& folder)
    {
        std::set<Content> ticked;
        for (MemoryView::Row& row : view.lists[static_cast<size_t>(side)]) {
            row.ticked = random() % 3 == 0;
            if (row.ticked) {
                Scan one;
                ContentsNamed(folder, row.row.name, one);
                ticked.insert(one.saves.begin(), one.saves.end());
            }
        }
        return ticked;
    }

    static void ContentsNamed(const std::string& folder, const std::string& name, Scan& scan)
    {
        TempDir single;
        std::error_code ignored;
        if (fs::is_directory(folder + name)) {
            fs::copy(folder + name, single / name, fs::copy_options::recursive, ignored);
        } else if (fs::exists(folder + name)) {
            fs::copy_file(folder + name, single / name, ignored);
        }
        ScanFolder(single.path(), scan);
    }

    void Connect(Card card)
    {
        current = card;
        if (card == Card::Folder) {
            control->OnConnectUSBMemory();
            return;
        }
        view.SetEditText(Edit::Address, server ? server->Address() : "127.0.0.1:" + std::to_string(FreeLoopbackPort()));
        control->OnConnectFtp();
        if (card == Card::Ftp1 && view.ComboItemCount(Combo::Slot) > 1) {
            view.SelectComboItem(Combo::Slot, 1);
            control->UpdateDataListPS2();
        }
    }

    // Runs one random step; returns what it did, for the failure message.
    std::string Step()
    {
        std::set<Content> excused;
        std::string what;
        const bool onFtp = current != Card::Folder;
        std::atomic<bool> done{false};
        std::thread killer;
        const int kind = static_cast<int>(random() % 11);
        // Now and then the server dies in the middle of a command.
        if (onFtp && server && kind >= 1 && kind <= 5 && random() % 6 == 0) {
            const auto delay = std::chrono::milliseconds(random() % 40);
            killer = std::thread([this, delay, &done] {
                const auto until = std::chrono::steady_clock::now() + delay;
                while (!done && std::chrono::steady_clock::now() < until) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
                server->Stop();
            });
            what = "(server stopped after " + std::to_string(delay.count()) + " ms) ";
        }
        switch (kind) {
        case 0: {
            const Card card = static_cast<Card>(random() % 3);
            what += "connect " + std::to_string(static_cast<int>(card));
            Connect(card);
            break;
        }
        case 1:
            what += "copy to PC";
            TickSome(ListSide::PS2, CardRoot());
            control->OnCopyToPC();
            break;
        case 2:
            what += "move to PC";
            TickSome(ListSide::PS2, CardRoot());
            control->OnMoveToPC();
            break;
        case 3:
        case 4: {
            what += kind == 3 ? "copy to card" : "move to card";
            TickSome(ListSide::PC, pcFolder);
            // A copy onto a card save of the same name replaces it: the user asked for that.
            for (const ListRow& row : view.GetTickedRows(ListSide::PC)) {
                Scan old;
                ContentsNamed(CardRoot(), CardNameOf(row.name), old);
                excused.insert(old.saves.begin(), old.saves.end());
            }
            kind == 3 ? control->OnCopyToPS2() : control->OnMoveToPS2();
            break;
        }
        case 5:
            what += "delete on the card";
            excused = TickSome(ListSide::PS2, CardRoot());
            control->OnDeletePS2();
            break;
        case 6:
            what += "delete on the PC";
            excused = TickSome(ListSide::PC, pcFolder);
            control->OnDeletePC();
            break;
        case 7: {
            what += "export";
            TickSome(ListSide::PC, pcFolder);
            view.folderAnswers = {exportFolder};
            view.fileTypeAnswer = static_cast<int>(random() % 2);
            control->OnExport();
            break;
        }
        case 8: {
            what += "import";
            view.openFileAnswer.clear();
            for (const auto& file : fs::directory_iterator(exportFolder)) {
                if (random() % 2 == 0) {
                    view.openFileAnswer.push_back(file.path().string());
                }
            }
            control->OnImport();
            break;
        }
        case 9: {
            const int which = static_cast<int>(random() % 4);
            const char* names[] = {"BESLES-10001AAA", "AAA 0", "NEW SAVE", "0"};
            what += std::string("new PC save ") + names[which];
            if (fs::exists(pcFolder + names[which])) {
                fs::rename(pcFolder + names[which], BackupFor(pcFolder + names[which]));
            }
            AddPs2(pcFolder, names[which]);
            control->OnRefreshPC();
            break;
        }
        default:
            if (server) {
                what += "server stopped";
                server->Stop();
                server.reset();
            } else {
                what += "server started";
                server = std::make_unique<FtpServer>(ftpRoot);
                if (current != Card::Folder) {
                    Connect(current);
                }
            }
        }
        done = true;
        if (killer.joinable()) {
            killer.join();
            server.reset();  // it was stopped: a later step starts it again
        }
        Check(excused, what);
        return what;
    }

    static std::string BackupFor(const std::string& path)
    {
        for (int i = 0;; ++i) {
            const std::string number = std::to_string(i);
            const std::string candidate = path + "." + std::string(3 - std::min<size_t>(3, number.size()), '0') + number;
            if (!fs::exists(candidate)) {
                return candidate;
            }
        }
    }

    void Check(const std::set<Content>& excused, const std::string& what)
    {
        // The FTP server writes its files in place: one it was killed writing is cut
        // short, and a faithful copy of it is no fault of ours.
        Scan all;
        ScanFolder(ftpRoot + "mc/0/", all);
        ScanFolder(ftpRoot + "mc/1/", all);
        knownFiles.insert(all.files.begin(), all.files.end());
        // The files of a folder card and of the PC folder are written by us: each must be whole.
        Scan ourScan;
        ScanFolder(pcFolder, ourScan);
        ScanFolder(cardFolder, ourScan);
        const std::set<std::string>& ours = ourScan.files;
        all.saves.insert(ourScan.saves.begin(), ourScan.saves.end());
        all.temporaries.insert(all.temporaries.end(), ourScan.temporaries.begin(), ourScan.temporaries.end());
        for (const Content& content : excused) {
            if (all.saves.count(content) == 0) {
                required.erase(content);
            }
        }
        for (const Content& content : required) {
            EXPECT_TRUE(all.saves.count(content) != 0) << "step " << steps << ": " << what << ": lost "
                                                      << descriptions[content];
        }
        for (const std::string& file : ours) {
            const bool known = knownFiles.count(file) != 0 ||
                               knownPs1.count("PS1" + file.substr(file.find('\0') + 1)) != 0;
            EXPECT_TRUE(known) << "step " << steps << ": " << what << ": a file not of any save: "
                               << file.substr(0, file.find('\0'));
        }
        EXPECT_TRUE(all.temporaries.empty()) << "step " << steps << ": " << what << ": " << all.temporaries.front();
        ++steps;
    }

    void Run(int count)
    {
        std::vector<std::string> done;
        for (int i = 0; i < count && !HasFailure(); ++i) {
            done.push_back(Step());

        }
        if (HasFailure()) {
            std::ostringstream trail;
            for (const std::string& step : done) {
                trail << step << "\n";
            }
            ADD_FAILURE() << "steps so far:\n" << trail.str();
        }
    }

    std::mt19937 random;
    const std::string ftpRoot = root / "server/";
    const std::string exportFolder = root / "export/";
    std::unique_ptr<FtpServer> server;
    Card current = Card::Folder;
    std::set<Content> required;
    std::set<std::string> knownFiles;
    std::set<Content> knownPs1;
    std::map<Content, std::string> descriptions;
    int made = 0;
    int steps = 0;
};

// Fixed seeds, so that a failure replays the same way; every fault a seed ever
// found stays among its fixed cases (see the tests beside this one).
// TANSU_HUNT_SEEDS=N hunts further, on N more seeds, by hand.
class SaveHuntRun : public SaveHunt, public ::testing::WithParamInterface<unsigned> {
protected:
    SaveHuntRun() : SaveHunt(GetParam()) {}
};

TEST_P(SaveHuntRun, NoSaveIsLost) { Run(120); }

std::vector<unsigned> Seeds()
{
    std::vector<unsigned> seeds = {1, 7, 42, 20261206};
    if (const char* more = std::getenv("TANSU_HUNT_SEEDS")) {
        for (unsigned i = 0, n = static_cast<unsigned>(std::atoi(more)); i < n; ++i) {
            seeds.push_back(1000 + i);
        }
    }
    return seeds;
}

INSTANTIATE_TEST_SUITE_P(Seeds, SaveHuntRun, ::testing::ValuesIn(Seeds()));

}  // namespace
