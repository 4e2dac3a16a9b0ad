#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "card/MemoryCardFactory.h"
#include "card/MemoryCardOwner.h"
#include "card/MemoryCardPS2Link.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;
using std::chrono::milliseconds;

int64_t LocalTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::mktime(&local);
}

// Each entry as "<name> <d or -><owner, group and other mode digits> <size>".
Lines Describe(const std::vector<FtpClient::FILE_DATA>& entries)
{
    Lines lines;
    for (const auto& e : entries) {
        lines.push_back(e.name + (e.isDirectory ? " d" : " -") +
                        std::to_string(e.ownerMode * 100 + e.groupMode * 10 + e.otherMode) + " " + std::to_string(e.size));
    }
    return lines;
}

Lines TextLines(const std::string& path)
{
    Lines lines = MemoryCardPS2Link::SplitToolOutput(ReadText(path));
    for (std::string& line : lines) {
        // Log lines start with the time and " - ".
        if (const size_t dash = line.find(" - "); dash != std::string::npos) {
            line.erase(0, dash + 3);
        }
    }
    return lines;
}

TEST(PS2LinkParseTest, DirLinesGiveModeSizeLocalTimeAndACleanName)
{
    FtpClient::FILE_DATA entry;
    ASSERT_TRUE(MemoryCardPS2Link::ParseDirLine("  drwxrwxrwx        512 01-21-2006 12:34:56 SAVEDIR\r", entry));
    EXPECT_EQ(Describe({entry}), Lines{"SAVEDIR d777 512"});
    EXPECT_EQ(entry.time, LocalTime(2006, 1, 21, 12, 34, 56));

    // Out-of-range fields are clamped; any character separates; blanks inside the name stay.
    ASSERT_TRUE(MemoryCardPS2Link::ParseDirLine("-rw-r--r-- 5 13-00-2004 25:61:61   BASLUS-00974YVES  0 ", entry));
    EXPECT_EQ(Describe({entry}), Lines{"BASLUS-00974YVES  0  -311 5"});
    EXPECT_EQ(entry.time, LocalTime(2004, 12, 1, 23, 59, 59));
    ASSERT_TRUE(MemoryCardPS2Link::ParseDirLine("-rwxrwxrwx 4294967297 1/2/2003 4.5.6 x", entry));
    EXPECT_EQ(entry.size, 1u);
    EXPECT_EQ(entry.time, LocalTime(2003, 1, 2, 4, 5, 6));

    // Shift-JIS and UTF-8 bytes stay, control characters go.
    ASSERT_TRUE(MemoryCardPS2Link::ParseDirLine("-rwxrwxrwx 1 01-01-2000 00:00:00 \x82\xa0\x01\xe3\x81\x82\x7f", entry));
    EXPECT_EQ(entry.name, "\x82\xa0\xe3\x81\x82");
    // A PS1 card's entries carry no time; a year before 1900 keeps none.
    ASSERT_TRUE(MemoryCardPS2Link::ParseDirLine("-rwxrwxrwx 8192 00-00-2048 00:00:00 BISLPS", entry));
    EXPECT_EQ(entry.time, LocalTime(2048, 1, 1, 0, 0, 0));
    ASSERT_TRUE(MemoryCardPS2Link::ParseDirLine("-rwxrwxrwx 1 01-01-0001 00:00:00 old", entry));
    EXPECT_EQ(entry.time, 0);

    for (const char* broken : {"", "   ", "-rwxrwxrwx abc 01-01-2000 00:00:00 x", "-rwxrwxrwx -1 01-01-2000 00:00:00 x",
                               "-rwxrwxrwx 1 01-01-2000 00:00", "-rwxrwxrwx 1 01-01-", " [5 Files - 132961 Bytes]"}) {
        EXPECT_FALSE(MemoryCardPS2Link::ParseDirLine(broken, entry)) << broken;
    }
}

TEST(PS2LinkParseTest, TheFrameAroundTheEntriesAndTheErrorMarker)
{
    EXPECT_EQ(MemoryCardPS2Link::SplitToolOutput("a\nb\r\n"), (Lines{"a", "b\r"}));
    EXPECT_EQ(MemoryCardPS2Link::SplitToolOutput("a\n\nb"), (Lines{"a", "", "b"}));
    EXPECT_EQ(MemoryCardPS2Link::SplitToolOutput("\n"), Lines{""});
    EXPECT_TRUE(MemoryCardPS2Link::SplitToolOutput("").empty());

    const std::string header = "\n [Contents of mc0:SAVE]\n\n";
    const std::string footer = "\n [1 Files - 964 Bytes]\n\n";
    const Lines one = MemoryCardPS2Link::SplitToolOutput(header + "  -rwxrwxrwx 964 01-01-2000 00:00:00 icon.sys\n" + footer);
    ASSERT_EQ(one.size(), 7u);
    EXPECT_EQ(Lines(MemoryCardPS2Link::DirEntryLines(one).begin(), MemoryCardPS2Link::DirEntryLines(one).end()),
              Lines{"  -rwxrwxrwx 964 01-01-2000 00:00:00 icon.sys"});
    const Lines none = MemoryCardPS2Link::SplitToolOutput(header + footer);
    ASSERT_EQ(none.size(), 6u);
    EXPECT_TRUE(MemoryCardPS2Link::DirEntryLines(none).empty());

    // Dots-only names, names with ':', '/' or NUL are dropped; listing order stays.
    std::string entries;
    for (const std::string& name :
         Lines{".", "..", "...", "view.ico", ".icon", "mc0:x", "a/b", std::string("c\0d", 3), "BESLES"}) {
        entries += "  -rwxrwxrwx 1 01-01-2000 00:00:00 " + name + "\r\n";
    }
    const auto parsed = MemoryCardPS2Link::ParseDirOutput(MemoryCardPS2Link::SplitToolOutput(header + entries + footer));
    EXPECT_EQ(Describe(parsed), (Lines{"view.ico -777 1", ".icon -777 1", "BESLES -777 1"}));

    EXPECT_TRUE(MemoryCardPS2Link::HasError({"", "  Progress: #[ERROR] Write destination data failed. (-1)"}));
    EXPECT_FALSE(MemoryCardPS2Link::HasError({"[error] lower case", "ERROR"}));
}

class FakeOwner : public MemoryCardOwner {
public:
    std::string slot = "0";
    bool powerOff = false;
    std::string GetSlotText() const override { return slot; }
    std::string GetEditText(Edit edit) const override { return edit == Edit::Address ? "127.0.0.1" : std::string(); }
    bool IsOptionChecked(Option option) const override { return option == Option::PowerOffOnDisconnect && powerOff; }
};

// A program directory holding the stand-in client and the module, a console
// folder with the cards, and a PC folder that is the current directory.
class PS2LinkTest : public ::testing::Test {
protected:
    PS2LinkTest()
    {
        fs::create_directories(program);
        fs::create_symlink(TANSU_PS2CLIENT_STUB, program + "ps2client");
        WriteText(program + "ps2netfs.irx", "module");
        WriteText(console + "mc0/SAVE/icon.sys", "icon");
        WriteText(console + "mc0/SAVE/data.bin", "0123456789");
        WriteText(console + "mc0/loose", "file at the root");
        fs::create_directories(pc);
        fs::create_directories(console + "mc0/EMPTY");
    }
    void SetUp() override
    {
        programDirectory = std::make_unique<ScopedProgramDirectory>(program);
        fs::current_path(pc);
        setenv("PS2CLIENT_STUB_ROOT", (base / "console").c_str(), 1);
        setenv("PS2CLIENT_STUB_LOG", (base / "stub.log").c_str(), 1);
        unsetenv("PS2CLIENT_STUB_MODE");
    }
    void TearDown() override
    {
        programDirectory.reset();
        fs::current_path(previous);
        for (const char* name : {"PS2CLIENT_STUB_ROOT", "PS2CLIENT_STUB_LOG", "PS2CLIENT_STUB_MODE"}) {
            unsetenv(name);
        }
    }
    static void Mode(const char* mode) { setenv("PS2CLIENT_STUB_MODE", mode, 1); }
    std::unique_ptr<MemoryCardPS2Link> Connect(milliseconds limit = milliseconds(60'000))
    {
        return std::make_unique<MemoryCardPS2Link>(&owner, limit);
    }
    // The client's arguments after "-h 127.0.0.1", one run a line.
    Lines Sent() const
    {
        Lines sent = TextLines(base / "stub.log");
        for (std::string& line : sent) {
            line.erase(0, line.rfind("-h|127.0.0.1|", 0) == 0 ? 13 : 0);
        }
        return sent;
    }
    Lines Logged() const { return TextLines(program + "log.txt"); }
    // The log stays open for appending: emptied in place, never removed.
    void ClearLog() const { fs::resize_file(program + "log.txt", 0); }
    bool WasLogged(const std::string& line) const
    {
        const Lines lines = Logged();
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    const fs::path previous = fs::current_path();
    TempDir base;
    const std::string program = base / "program/";
    const std::string console = base / "console/";
    const std::string pc = base / "pc/";
    FakeOwner owner;
    std::unique_ptr<ScopedProgramDirectory> programDirectory;
};

TEST_F(PS2LinkTest, ConnectsThroughTheModuleAndFindsTheCardsThenResetsOrSwitchesOff)
{
    EXPECT_NE(dynamic_cast<MemoryCardPS2Link*>(CreateMemoryCard(&owner, kMemoryCardPS2Link, "").get()), nullptr);
    fs::remove(base / "stub.log");

    auto card = Connect();
    EXPECT_TRUE(card->IsConnected());
    EXPECT_EQ(card->slotMask, 1u);
    card.reset();
    EXPECT_EQ(Sent(), (Lines{"reset", "-t|5|execiop|host:ps2netfs.irx", "dir|mc0:", "dir|mc1:", "reset"}));

    fs::create_directories(console + "mc1");
    owner.powerOff = true;
    card = Connect();
    EXPECT_EQ(card->slotMask, 3u);
    card.reset();
    EXPECT_EQ(Sent().back(), "poweroff");
    EXPECT_TRUE(Logged().empty());
}

TEST_F(PS2LinkTest, NoModuleBannerMeansNotConnectedAndNothingWorks)
{
    struct Case {
        const char* what;
        const char* mode;
        bool removeModule;
        bool removeTool;
    };
    for (const Case& c : {Case{"module missing", "", true, false}, Case{"silent tool", "silent", false, false},
                          Case{"console offline", "offline", false, false}, Case{"tool missing", "", false, true}}) {
        Mode(c.mode);
        if (c.removeModule) {
            fs::remove(program + "ps2netfs.irx");
        }
        if (c.removeTool) {
            fs::remove(program + "ps2client");
        }
        auto card = Connect();
        EXPECT_FALSE(card->IsConnected()) << c.what;
        EXPECT_EQ(card->slotMask, 0u) << c.what;
        EXPECT_FALSE(card->SetCurrentDirectory("")) << c.what;
        EXPECT_TRUE(card->List().empty()) << c.what;
        EXPECT_FALSE(card->Get("icon.sys")) << c.what;
        EXPECT_FALSE(card->MakeDirectory("NEW")) << c.what;
        WriteText(program + "ps2netfs.irx", "module");
    }
    EXPECT_TRUE(Logged().empty());
    EXPECT_FALSE(fs::exists(console + "mc0/NEW"));
}

TEST_F(PS2LinkTest, EntersDirectoriesAndListsThem)
{
    const int64_t stamp = LocalTime(2006, 1, 21, 12, 34, 56);
    const timespec times[2] = {{stamp, 0}, {stamp, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (console + "mc0/SAVE/data.bin").c_str(), times, 0), 0);
    auto card = Connect();
    const size_t runs = Sent().size();
    EXPECT_TRUE(card->SetCurrentDirectory(""));
    EXPECT_EQ(Sent().size(), runs);
    EXPECT_EQ(Describe(card->List()), (Lines{"EMPTY d777 2", "SAVE d777 4", "loose -777 16"}));

    EXPECT_TRUE(card->SetCurrentDirectory("SAVE"));
    // A missing directory, a file and an empty slot leave the current directory as it was.
    EXPECT_FALSE(card->SetCurrentDirectory("MISSING"));
    EXPECT_FALSE(card->SetCurrentDirectory("loose"));
    owner.slot = "1";
    EXPECT_FALSE(card->SetCurrentDirectory("SAVE"));
    EXPECT_TRUE(card->List().empty());
    owner.slot = "0";
    const auto files = card->List();
    EXPECT_EQ(Describe(files), (Lines{"data.bin -777 10", "icon.sys -777 4"}));
    EXPECT_EQ(files.at(0).time, stamp);
    EXPECT_EQ(Sent().back(), "dir|mc0:SAVE");
    EXPECT_TRUE(Logged().empty());
}

TEST_F(PS2LinkTest, GetsAndPutsThroughTheTransferFolderWithoutReplacingAnything)
{
    const std::string transfer = program + "staging/ps2link/";
    auto card = Connect();
    ASSERT_TRUE(card->SetCurrentDirectory("SAVE"));

    ASSERT_TRUE(card->Get("data.bin"));
    EXPECT_EQ(ReadText(pc + "data.bin"), "0123456789");
    EXPECT_EQ(Sent().back(), "copyfrom|mc0:SAVE/data.bin|data.bin");
    // Downloading over an existing PC file fails and leaves it as it was.
    WriteText(pc + "icon.sys", "mine");
    EXPECT_FALSE(card->Get("icon.sys"));
    EXPECT_EQ(ReadText(pc + "icon.sys"), "mine");
    EXPECT_EQ(Logged().at(0), "エラー : MemoryCardPS2Link::Get()");
    EXPECT_EQ(Logged().at(1), pc + "icon.sys");
    EXPECT_FALSE(fs::exists(transfer + "icon.sys"));

    // A file that was in the transfer folder is back under its name, unchanged.
    WriteText(transfer + "new name.bin", "left over");
    WriteText(pc + "new name.bin", "uploaded");
    ASSERT_TRUE(card->Put("new name.bin"));
    EXPECT_EQ(Sent().back(), "copyto|new name.bin|mc0:SAVE/new name.bin");
    EXPECT_EQ(ReadText(console + "mc0/SAVE/new name.bin"), "uploaded");
    EXPECT_EQ(ReadText(transfer + "new name.bin"), "left over");
    EXPECT_FALSE(fs::exists(transfer + "new name.bin.000"));

    ClearLog();
    EXPECT_FALSE(card->Get("absent"));
    EXPECT_FALSE(fs::exists(pc + "absent"));
    EXPECT_EQ(Logged(), (Lines{"エラー : MemoryCardPS2Link::Get()", "copyfrom mc0:SAVE/absent absent",
                               "[ERROR] Open source file failed. (-2)"}));
    ClearLog();
    ASSERT_TRUE(card->SetCurrentDirectory("EMPTY"));
    fs::remove_all(console + "mc0/EMPTY");
    EXPECT_FALSE(card->Put("data.bin"));
    EXPECT_EQ(Logged().at(0), "エラー : MemoryCardPS2Link::Put()");
    EXPECT_TRUE(WasLogged("  Progress: #[ERROR] Write destination data failed. (-2)"));
    ClearLog();
    EXPECT_FALSE(card->Put("not on the pc"));
    EXPECT_EQ(Logged().at(0), "エラー : MemoryCardPS2Link::Put()");
    EXPECT_EQ(Logged().at(1), pc + "not on the pc");
}

TEST_F(PS2LinkTest, RemovesAndMakesWithTheClientsErrorsLogged)
{
    auto card = Connect();
    ASSERT_TRUE(card->SetCurrentDirectory("SAVE"));
    EXPECT_TRUE(card->Remove("icon.sys"));
    EXPECT_FALSE(fs::exists(console + "mc0/SAVE/icon.sys"));
    EXPECT_FALSE(card->Remove("icon.sys"));
    EXPECT_FALSE(card->Remove("../loose"));
    ASSERT_TRUE(card->SetCurrentDirectory(""));
    EXPECT_TRUE(card->MakeDirectory("NEW"));
    EXPECT_FALSE(card->MakeDirectory("SAVE"));
    EXPECT_TRUE(card->RemoveDirectory("EMPTY"));
    EXPECT_FALSE(card->RemoveDirectory("SAVE"));
    EXPECT_TRUE(fs::is_directory(console + "mc0/NEW"));
    EXPECT_FALSE(fs::exists(console + "mc0/EMPTY"));
    EXPECT_EQ(Logged(), (Lines{"エラー : MemoryCardPS2Link::Remove()", "delete mc0:SAVE/icon.sys",
                               "[ERROR] Delete file failed. (-2)", "エラー : MemoryCardPS2Link::MakeDirectory()",
                               "mkdir mc0:SAVE", "[ERROR] Make directory failed. (-17)",
                               "エラー : MemoryCardPS2Link::RemoveDirectory()", "rmdir mc0:SAVE",
                               "[ERROR] Remove directory failed. (-17)"}));
}

TEST_F(PS2LinkTest, AClientThatFallsSilentOrNeverEnds)
{
    auto card = Connect(milliseconds(3000));
    ASSERT_TRUE(card->SetCurrentDirectory("SAVE"));
    Mode("silent");
    // Nothing printed is success for a command that prints nothing on success...
    EXPECT_TRUE(card->Remove("icon.sys"));
    // ...but a download that never arrived is not.
    EXPECT_FALSE(card->Get("data.bin"));
    EXPECT_FALSE(fs::exists(pc + "data.bin"));
    EXPECT_FALSE(card->SetCurrentDirectory("EMPTY"));
    EXPECT_TRUE(card->List().empty());
    EXPECT_EQ(Logged().at(0), "エラー : MemoryCardPS2Link::Get()");

    ClearLog();
    Mode("hang:copyfrom");
    EXPECT_FALSE(card->Get("data.bin"));
    EXPECT_FALSE(fs::exists(pc + "data.bin"));
    EXPECT_EQ(Logged(), Lines{"エラー : 時間切れです MemoryCardPS2Link::RunTool() copyfrom mc0:SAVE/data.bin data.bin"});

    ClearLog();
    Mode("hang:execiop");
    EXPECT_FALSE(Connect(milliseconds(300))->IsConnected());
    EXPECT_TRUE(WasLogged("エラー : 時間切れです MemoryCardPS2Link::RunTool() -t 5 execiop host:ps2netfs.irx"));
}

}  // namespace
