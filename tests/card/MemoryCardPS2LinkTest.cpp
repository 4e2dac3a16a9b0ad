#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <optional>

#include "TestSupport.h"
#include "card/MemoryCardOwner.h"
#include "card/MemoryCardPS2Link.h"
#include "card/PS2ClientOutput.h"

namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;
using Link = MemoryCardPS2Link;
using Output = PS2ClientOutput;

int64_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0, int second = 0)
{
    std::tm t{second, minute, hour, day, month - 1, year - 1900, 0, 0, -1, 0, nullptr};
    return std::mktime(&t);
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

TEST(PS2ClientOutputTest, DirLinesTheFrameAroundThemAndTheErrorMarker)
{
    const struct { const char *line, *entry; int64_t time; } cases[] = {
        // Out-of-range fields are clamped, any character separates, sizes keep their low 32 bits,
        // blanks inside and after the name stay, control characters go but Shift-JIS and UTF-8 stay.
        {"  drwxrwxrwx        512 01-21-2006 12:34:56 SAVEDIR\r", "SAVEDIR d777 512", LocalTime(2006, 1, 21, 12, 34, 56)},
        {"-rw-r--r-- 5 13-00-2004 25:61:61   BAS  0 ", "BAS  0  -311 5", LocalTime(2004, 12, 1, 23, 59, 59)},
        {"-rwxrwxrwx 4294967297 1/2/2003 4.5.6 x", "x -777 1", LocalTime(2003, 1, 2, 4, 5, 6)},
        {"-rwxrwxrwx 1 1-1-2000 0:0:0 \x82\xa0\x01\xe3\x81\x82\x7f", "\x82\xa0\xe3\x81\x82 -777 1", LocalTime(2000, 1, 1)},
    };
    for (const auto& c : cases) {
        FtpClient::FILE_DATA entry;
        EXPECT_TRUE(Output::ParseDirLine(c.line, entry) && Describe({entry}) == Lines{c.entry} && entry.time == c.time)
            << c.line << " -> " << Describe({entry})[0] << " " << entry.time;
    }

    EXPECT_EQ(Output::SplitLines("a\n\nb\r\n"), (Lines{"a", "", "b\r"}));
    const std::string header = "\n [Contents of mc0:SAVE]\n\n", footer = "\n [9 Files - 9 Bytes]\n\n";
    EXPECT_TRUE(Output::ParseDirOutput(Output::SplitLines(header + footer)).empty());
    // Dots-only names and names with ':', '/' or NUL are dropped; listing order stays.
    std::string entries;
    for (const std::string& name : Lines{"v.ico", ".", "..", "...", ".icon", "mc0:x", "a/b", std::string("c\0d", 3), "B"}) {
        entries += "  -rwxrwxrwx 1 01-01-2000 00:00:00 " + name + "\r\n";
    }
    EXPECT_EQ(Describe(Output::ParseDirOutput(Output::SplitLines(header + entries + footer))),
              (Lines{"v.ico -777 1", ".icon -777 1", "B -777 1"}));
    EXPECT_TRUE(Output::HasError({"", "  Progress: #[ERROR] Write destination data failed. (-1)"}));
    EXPECT_FALSE(Output::HasError({"[error] lower case", "ERROR"}));
}

struct FakeOwner : MemoryCardOwner {
    bool powerOff = false;
    std::string GetSlotText() const override { return "0"; }
    std::string GetEditText(Edit) const override { return "127.0.0.1"; }
    bool IsOptionChecked(Option option) const override { return option == Option::PowerOffOnDisconnect && powerOff; }
};

// The program directory holds the stand-in client and the module; the PC folder is current.
class PS2LinkTest : public ::testing::Test {
protected:
    PS2LinkTest()
    {
        WriteText(program + "ps2netfs.irx", "module");
        fs::create_symlink(TANSU_PS2CLIENT_STUB, program + "ps2client");
        WriteText(console + "mc0/SAVE/icon.sys", "icon");
        WriteText(console + "mc0/SAVE/data.bin", "0123456789");
        fs::create_directories(console + "mc0/EMPTY");
        fs::create_directories(pc);
        scope.emplace(program);
        fs::current_path(pc);
        setenv("PS2CLIENT_STUB_ROOT", console.c_str(), 1);
        setenv("PS2CLIENT_STUB_LOG", (base / "stub.log").c_str(), 1);
        unsetenv("PS2CLIENT_STUB_MODE");
    }
    static void Mode(const char* mode) { setenv("PS2CLIENT_STUB_MODE", mode, 1); }
    std::unique_ptr<Link> Connect(PS2LinkTimeLimits limits = {}) { return std::make_unique<Link>(&owner, limits); }
    // The client's runs ("dir|mc0:", without "-h|127.0.0.1|"), or the log's messages.
    Lines Read(const std::string& file, const std::string& mark) const
    {
        Lines lines = Output::SplitLines(ReadText(base / file));
        for (std::string& line : lines) {
            line.erase(0, line.find(mark) == std::string::npos ? 0 : line.find(mark) + mark.size());
        }
        return lines;
    }
    Lines Sent() const { return Read("stub.log", "-h|127.0.0.1|"); }
    Lines Logged() const { return Read("program/log.txt", " - "); }
    // The log stays open for appending: emptied in place, never removed.
    void ClearLog() const { fs::resize_file(program + "log.txt", 0); }

    TempDir base;
    const std::string program = base / "program/", console = base / "console/", pc = base / "pc/",
                      transfer = program + "staging/ps2link/";
    FakeOwner owner;
    std::optional<ScopedProgramDirectory> scope;
};

TEST_F(PS2LinkTest, ConnectsThroughTheModuleAndNeverWaitsForeverOnTheClient)
{
    EXPECT_EQ(Connect()->slotMask, 1u);
    EXPECT_EQ(Sent(), (Lines{"reset", "-t|5|execiop|host:ps2netfs.irx", "dir|mc0:", "dir|mc1:", "reset"}));
    fs::create_directories(console + "mc1");
    owner.powerOff = true;
    PS2LinkTimeLimits quickCopies;
    quickCopies.transferStart = std::chrono::seconds(1);
    quickCopies.transferPer32KB = std::chrono::milliseconds(1);
    auto card = Connect(quickCopies);
    EXPECT_EQ(card->slotMask, 3u);
    ASSERT_TRUE(card->SetCurrentDirectory("SAVE"));
    // Nothing printed is success, unless a download should have arrived.
    Mode("silent");
    EXPECT_TRUE(card->Remove("icon.sys"));
    EXPECT_FALSE(card->Get("data.bin") || card->SetCurrentDirectory("EMPTY") || !card->List().empty());
    ClearLog();
    Mode("hang:copyfrom");
    EXPECT_FALSE(card->Get("data.bin") || fs::exists(pc + "data.bin"));
    card.reset();
    EXPECT_EQ(Sent().back(), "poweroff");

    // No module banner: not connected, and nothing works.
    for (const std::string mode : {"offline", "silent", "no module", "no tool"}) {
        Mode(mode.c_str());
        fs::remove(program + (mode == "no tool" ? "ps2client" : mode == "no module" ? "ps2netfs.irx" : "-"));
        auto off = Connect();
        EXPECT_FALSE(off->IsConnected() || off->slotMask != 0 || off->SetCurrentDirectory("") || off->MakeDirectory("NEW") ||
                     !off->List().empty() || !off->lastListFailed)
            << mode;
    }
    // The time limit was logged, and a client that is not there: nothing else is while connecting.
    EXPECT_EQ(Logged(), (Lines{"エラー : ps2clientが応答しませんでした MemoryCardPS2Link::RunTool() copyfrom mc0:SAVE/data.bin data.bin",
                               "エラー : ps2clientを起動できませんでした (プログラムと同じフォルダに置いてください) "
                               "MemoryCardPS2Link::RunTool() " + program + "ps2client"}));
}

TEST_F(PS2LinkTest, EveryOperationWithTheClientsErrorsLogged)
{
    auto card = Connect();
    EXPECT_TRUE(card->SetCurrentDirectory("") && Sent().size() == 4);  // without a run of its own
    EXPECT_EQ(Describe(card->List()), (Lines{"EMPTY d777 2", "SAVE d777 4"}));
    EXPECT_FALSE(card->lastListFailed);
    ASSERT_TRUE(card->SetCurrentDirectory("SAVE"));
    EXPECT_FALSE(card->SetCurrentDirectory("MISSING") || card->SetCurrentDirectory("SAVE/icon.sys"));
    EXPECT_EQ(Describe(card->List()), (Lines{"data.bin -777 10", "icon.sys -777 4"}));

    ASSERT_TRUE(card->Get("data.bin"));
    EXPECT_EQ(ReadText(pc + "data.bin"), "0123456789");
    // Neither a PC file nor one in the transfer folder is ever replaced.
    WriteText(pc + "icon.sys", "mine");
    EXPECT_FALSE(card->Get("icon.sys") || fs::exists(transfer + "icon.sys"));
    EXPECT_EQ(ReadText(pc + "icon.sys"), "mine");
    WriteText(transfer + "new name.bin", "left over");
    WriteText(pc + "new name.bin", "uploaded");
    ASSERT_TRUE(card->Put("new name.bin"));
    EXPECT_EQ(Sent().back(), "copyto|new name.bin|mc0:SAVE/new name.bin");
    EXPECT_EQ(ReadText(console + "mc0/SAVE/new name.bin"), "uploaded");
    EXPECT_EQ(ReadText(transfer + "new name.bin"), "left over");
    EXPECT_FALSE(fs::exists(transfer + "new name.bin.000") || card->Put("not on the pc"));

    EXPECT_TRUE(card->MakeDirectory("NEW") && card->RemoveDirectory("EMPTY") && fs::is_directory(console + "mc0/NEW"));
    EXPECT_FALSE(card->MakeDirectory("SAVE") || card->RemoveDirectory("SAVE") || fs::exists(console + "mc0/EMPTY"));

    ClearLog();
    EXPECT_FALSE(card->Get("absent") || fs::exists(pc + "absent"));
    EXPECT_TRUE(card->Remove("icon.sys"));
    EXPECT_FALSE(card->Remove("icon.sys") || card->Remove("../SAVE/data.bin") || !fs::exists(console + "mc0/SAVE/data.bin"));
    fs::remove_all(console + "mc0/SAVE");
    EXPECT_FALSE(card->Put("data.bin"));
    EXPECT_EQ(Logged(), (Lines{"エラー : MemoryCardPS2Link::Get()", "copyfrom mc0:SAVE/absent absent",
                               "[ERROR] Open source file failed. (-2)", "エラー : MemoryCardPS2Link::Remove()",
                               "delete mc0:SAVE/icon.sys", "[ERROR] Delete file failed. (-2)",
                               "エラー : MemoryCardPS2Link::Put()", "", " [data.bin --> mc0:SAVE/data.bin]", "",
                               "  Progress: #[ERROR] Write destination data failed. (-2)"}));
}

// A link or a pipe in the PC folder is no file to send: a link could name any
// file the user can read, and a pipe never ends.
TEST_F(PS2LinkTest, PutSendsNoLinkAndWaitsOnNoPipe)
{
    WriteText(base / "secret", "secret");
    fs::create_symlink(base / "secret", pc + "link");
    const PipeTrap pipe(pc + "pipe");
    auto card = Connect();
    ASSERT_TRUE(card->SetCurrentDirectory("SAVE"));
    EXPECT_FALSE(card->Put("link") || card->Put("pipe") || pipe.Sprung());
    EXPECT_FALSE(fs::exists(console + "mc0/SAVE/link") || fs::exists(console + "mc0/SAVE/pipe"));
    const Lines logged = Logged();
    for (const char* line : {"エラー : シンボリックリンクはたどりません MemoryCardPS2Link::Put() link",
                             "エラー : 通常のファイルではないため開きませんでした MemoryCardPS2Link::Put() pipe"}) {
        EXPECT_NE(std::find(logged.begin(), logged.end(), line), logged.end()) << line;
    }
}

// A client that never answered once cost five minutes a command, and a card
// list then said there was no card in slot 0. Each kind of command has its
// own limit now; a client that did not answer is logged as that, and leaves
// the backend unconnected rather than connected to empty slots.
TEST_F(PS2LinkTest, AClientThatNeverAnswersIsStoppedAndSaidSo)
{
    PS2LinkTimeLimits quick;
    quick.command = std::chrono::seconds(1);
    const std::string silent = "エラー : ps2clientが応答しませんでした MemoryCardPS2Link::RunTool() ";
    const struct {
        const char* mode;
        Lines sent, logged;
    } cases[] = {
        // Nothing more is asked of a client that does not send the reset, not even on the way out.
        {"hang", {"reset"}, {silent + "reset"}},
        {"hang:dir", {"reset", "-t|5|execiop|host:ps2netfs.irx", "dir|mc0:", "dir|mc1:", "reset"},
         {silent + "dir mc0:", silent + "dir mc1:"}},
    };
    for (const auto& c : cases) {
        Mode(c.mode);
        fs::remove(base / "stub.log");
        ClearLog();
        auto card = Connect(quick);
        EXPECT_FALSE(card->IsConnected() || card->slotMask != 0) << c.mode;
        card.reset();
        EXPECT_EQ(Sent(), c.sent) << c.mode;
        EXPECT_EQ(Logged(), c.logged) << c.mode;
    }
}

}  // namespace
