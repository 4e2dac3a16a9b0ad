// tansu-cli on the three kinds of card: a folder, a loopback FTP server and the stand-in ps2client.
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <set>
#include <sstream>

#include "CliRunner.h"
#include "support/FtpServer.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// The lines sorted, as a server lists in an order of its own; titles are upper case, so usage stays last.
std::string Sorted(const std::string& out)
{
   std::istringstream stream(out); std::multiset<std::string> lines;
    for (std::string line; std::getline(stream, line);) lines.insert(line + "\n");
    return std::accumulate(lines.begin(), lines.end(), std::string());
}

// A PS2 save of 964 + 3000 bytes (2 + 4 KB) and a PS1 save kept the card's way.
void MakeCard(const std::string& card, const std::string& title)
{
    WriteBytes(card + "BASLUS-1/icon.sys", MakeIconSys(title));
    WriteBytes(card + "BASLUS-1/data", std::vector<uint8_t>(3000, 1));
    WriteBytes(card + "SLPS-2/SLPS-2", MakePS1Save("PS ONE"));
}
const std::string kCardRows = "ONE\tBASLUS-1\t0006\tPS2\nPS ONE\tSLPS-2\t0008\tPS1\nusage\t14\n";

void ExpectFails(const std::vector<std::string>& arguments, const std::string& message, const CliOptions& options = {})
{
    const CliRun run = RunCli(arguments, options);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.Says(message)) << run.err;
}

TEST(CliCardArguments, BadCardsAndMissingPartsAreUsageErrors)
{
    TempDir temp;
    const std::string dir = temp.path();
    std::vector<std::vector<std::string>> cases = {
        {"copy-to-pc", "--pc", dir, "SAVE"}, {"copy-to-pc", "--card", dir, "SAVE"}, {"copy-to-card", "--card", dir, "--pc", dir},
        {"delete", "--card", dir, "--pc", dir, "SAVE"}, {"delete", "--card", dir, "--json", "SAVE"}, {"delete", "--card", dir, ""}};
    for (const char* card : {"ftp://127.0.0.1/2", "ftp://127.0.0.1", "ftp:///0", "ftp://127.0.0.1:65536/0", "ftp://user@127.0.0.1/0",
                             "ps2link://127.0.0.1:18194/0", "ps2link://-x/0", "http://127.0.0.1/0"}) {
        cases.push_back({"list", "card", card});
    }
    for (const auto& arguments : cases) {
        const CliRun run = RunCli(arguments);
        EXPECT_TRUE(run.exitCode == 2 && run.Says("Usage: tansu-cli")) << testing::PrintToString(arguments) << run.err;
    }
}

TEST(CliCardTest, FolderCardCopiesBothWaysDeletesAndFailsPerName)
{
    TempDir temp;
    const std::string card = temp / "card/", pc = temp / "pc/";
    MakeCard(card, "ONE");
    WriteBytes(pc + "NEW/icon.sys", MakeIconSys("NEW"));
    EXPECT_EQ(RunCli({"list", "card", card}).out, kCardRows);
    EXPECT_EQ(RunCli({"copy-to-pc", "--card", card, "--pc", pc, "BASLUS-1", "SLPS-2"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(pc + "BASLUS-1/data"), std::vector<uint8_t>(3000, 1));
    EXPECT_EQ(RunCli({"copy-to-card", "--card=" + card, "--pc=" + pc, "NEW"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(card + "NEW/icon.sys"), MakeIconSys("NEW"));
    EXPECT_EQ(RunCli({"delete", "--card", card, "NEW", "BASLUS-1"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(card + "NEW") || fs::exists(card + "BASLUS-1"));

    // A name with no row fails; the names that have one are still done.
    ExpectFails({"copy-to-pc", "--card", card, "--pc", pc, "NOPE", "SLPS-2"}, "メモリーカードにセーブがありません tansu-cli copy-to-pc : NOPE");
    EXPECT_TRUE(fs::is_regular_file(pc + "SLPS-2.000"));
    ExpectFails({"copy-to-card", "--card", card, "--pc", pc, "NOPE"}, "PCリストにセーブがありません tansu-cli copy-to-card : NOPE");
    WriteBytes(card + "KEEP/sub/file", {1});
    ExpectFails({"delete", "--card", card, "KEEP"}, "セーブデータを削除できませんでした tansu-cli delete : KEEP");
    // A mistyped PC folder is refused, not made.
    EXPECT_TRUE(RunCli({"copy-to-pc", "--card", card, "--pc", temp / "typo", "SLPS-2"}).exitCode == 1 && !fs::exists(temp / "typo"));
}

// Moves, whole names (spaces, bytes that are no UTF-8 as \xHH) and "dir" in JSON.
TEST(CliCardTest, MovesActOnWholeNames)
{
    TempDir temp;
    const std::string card = temp / "card/", pc = temp / "pc/";
    WriteBytes(card + "AAA 0/icon.sys", MakeIconSys("FIRST"));
    WriteBytes(card + "BBB 0/icon.sys", MakeIconSys("SECOND"));
    WriteBytes(card + "SOLO X/icon.sys", MakeIconSys("SOLO"));
    WriteBytes(card + "BESLES-53322/icon.sys", MakeIconSys("REAL"));
    WriteBytes(card + "BESLES-53322/data", std::vector<uint8_t>(5000, 9));
    WriteBytes(card + "BAD\xFF/icon.sys", MakeIconSys("BAD"));
    WriteBytes(pc + "BESLES-53322", std::vector<uint8_t>(1024, 1));  // a PC file named like the card's save

    const std::string json = RunCli({"list", "card", card, "--json"}).out;
    for (const char* dir : {R"("dir":"AAA 0")", R"("dir":"BBB 0")", R"("dir":"BAD\\xFF")"}) {
        EXPECT_NE(json.find(dir), std::string::npos) << dir << " in " << json;
    }
    // "0" is shown by two rows: ambiguous. "X" by one: taken.
    ExpectFails({"move-to-pc", "--card", card, "--pc", pc, "0"}, "tansu-cli move-to-pc : 0");
    EXPECT_TRUE(fs::exists(card + "AAA 0") && fs::exists(card + "BBB 0"));
    EXPECT_EQ(RunCli({"move-to-pc", "--card", card, "--pc", pc, "AAA 0", "X", "BAD\\xFF", "BESLES-53322"}).exitCode, 0);
    for (const char* name : {"AAA 0", "SOLO X", "BAD\xFF", "BESLES-53322"}) {
        EXPECT_TRUE(fs::is_regular_file(pc + name + "/icon.sys")) << name;
        EXPECT_FALSE(fs::exists(card + name)) << name;
    }
    EXPECT_EQ(ReadBytes(pc + "BESLES-53322/data"), std::vector<uint8_t>(5000, 9));
    EXPECT_EQ(ReadBytes(pc + "BESLES-53322.000"), std::vector<uint8_t>(1024, 1));
    EXPECT_TRUE(fs::exists(card + "BBB 0/icon.sys"));

    EXPECT_EQ(RunCli({"move-to-card", "--card", card, "--pc", pc, "SOLO X", "BESLES-53322.000"}).exitCode, 0);
    EXPECT_TRUE(fs::is_regular_file(card + "SOLO X/icon.sys"));
    EXPECT_FALSE(fs::exists(pc + "SOLO X"));
    // A plain file goes up as a PS1 save under the name without its backup number.
    EXPECT_EQ(ReadBytes(card + "BESLES-53322/BESLES-53322"), std::vector<uint8_t>(1024, 1));
    EXPECT_FALSE(fs::exists(pc + "BESLES-53322.000"));
}

TEST(CliCardTest, FtpCardWorksInTheNamedSlotAndFailsCleanly)
{
    TempDir temp;
    const std::string pc = temp / "pc/", slot0 = temp / "server/mc/0/";
    MakeCard(slot0, "ONE");
    MakeCard(temp / "server/mc/1/", "SLOT ONE");
    WriteBytes(pc + "NEW/icon.sys", MakeIconSys("NEW"));
    FtpServer server(temp / "server");
    const std::string card0 = "ftp://" + server.Address() + "/0", card1 = "ftp://" + server.Address() + "/1";
    EXPECT_EQ(Sorted(RunCli({"list", "card", card0}).out), kCardRows);
    EXPECT_EQ(RunCli({"copy-to-pc", "--card", card1, "--pc", pc, "BASLUS-1"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(pc + "BASLUS-1/icon.sys"), MakeIconSys("SLOT ONE"));
    EXPECT_EQ(RunCli({"copy-to-card", "--card", card0, "--pc", pc, "NEW"}).exitCode, 0);
    EXPECT_EQ(RunCli({"delete", "--card", card0, "SLPS-2"}).exitCode, 0);
    EXPECT_EQ(Sorted(RunCli({"list", "card", card0}).out), "NEW\tNEW\t0002\tPS2\nONE\tBASLUS-1\t0006\tPS2\nusage\t8\n");

    fs::create_symlink("nowhere", slot0 + "BASLUS-1/broken");
    ExpectFails({"copy-to-pc", "--card", card0, "--pc", pc, "BASLUS-1"}, "セーブデータをコピーできませんでした tansu-cli copy-to-pc : BASLUS-1");
    fs::remove_all(temp / "server/mc/1");
    ExpectFails({"list", "card", card1}, "エラー : スロット1にメモリーカードがありません tansu-cli list card");
    server.Stop();
    ExpectFails({"delete", "--card", card0, "BASLUS-1"}, "エラー : メモリーカードに接続できませんでした tansu-cli delete : " + card0);
}

// The PS2Link backend runs ps2client from the program's own folder: a copy of tansu-cli sits beside the stand-in.
TEST(CliCardTest, PS2LinkCardThroughTheStandInClient)
{
    TempDir temp;
    const std::string program = temp / "program/", pc = temp / "";
    WriteText(program + "ps2netfs.irx", "module");
    fs::copy_file(TANSU_CLI_PATH, program + "tansu-cli");
    fs::create_symlink(TANSU_PS2CLIENT_STUB, program + "ps2client");
    MakeCard(temp / "console/mc0/", "ONE");
    const CliOptions console{.program = program + "tansu-cli",
                             .environment = {{"PS2CLIENT_STUB_ROOT", QString::fromStdString(temp / "console")}}};
    EXPECT_EQ(Sorted(RunCli({"list", "card", "ps2link://127.0.0.1/0"}, console).out), kCardRows);
    EXPECT_EQ(RunCli({"copy-to-pc", "--card", "ps2link://127.0.0.1/0", "--pc", pc, "BASLUS-1"}, console).exitCode, 0);
    EXPECT_EQ(ReadBytes(pc + "BASLUS-1/data"), std::vector<uint8_t>(3000, 1));
    ExpectFails({"list", "card", "ps2link://127.0.0.1/1"}, "スロット1にメモリーカードがありません", console);
}

// A card root that cannot be listed is no empty card, and a deletion that no
// fresh list confirms is no deletion.
TEST(CliCardTest, ACardListThatCannotBeReadFails)
{
    TempDir temp;
    MakeCard(temp / "unlistable/mc/0/", "ONE");
    MakeCard(temp / "lost/mc/0/", "ONE");
    FtpServer unlistable(temp / "unlistable", "unlistable"), lost(temp / "lost", "lost-on-delete");
    ExpectFails({"list", "card", "ftp://" + unlistable.Address() + "/0"},
                "エラー : メモリーカードのセーブデータリストを取得できませんでした tansu-cli list card");
    ExpectFails({"delete", "--card", "ftp://" + lost.Address() + "/0", "BASLUS-1"},
                "エラー : セーブデータを削除できませんでした tansu-cli delete : BASLUS-1");
    EXPECT_TRUE(fs::exists(temp / "lost/mc/0/BASLUS-1/icon.sys"));
}

}  // namespace

// Card image files: made by format-card, used as CARD like a folder, checked by check-card.
TEST(CliCardTest, ImageFilesAreMadeUsedAndChecked)
{
    TempDir temp;
    const std::string ps2 = temp / "card.ps2", ps1 = temp / "card.mcd", pc = temp / "pc/";
    EXPECT_EQ(RunCli({"format-card", ps2}).exitCode, 0);
    EXPECT_EQ(fs::file_size(ps2), 8650752u);
    ExpectFails({"format-card", ps2, "--no-ecc"}, "上書きしませんでした tansu-cli format-card");
    EXPECT_EQ(fs::file_size(ps2), 8650752u);
    EXPECT_EQ(RunCli({"format-card", "--ps1", ps1}).exitCode, 0);
    for (const std::vector<std::string>& arguments : {std::vector<std::string>{"format-card", ps1 + "x", "--ps1", "--no-ecc"},
                                                      {"format-card", ps1 + "y", "--size", "12"},
                                                      {"check-card", ps1, "--ps1"}, {"format-card"}}) {
        EXPECT_EQ(RunCli(arguments).exitCode, 2) << testing::PrintToString(arguments);
    }

    MakeCard(pc, "ONE");
    EXPECT_EQ(RunCli({"copy-to-card", "--card", ps2, "--pc", pc, "BASLUS-1", "SLPS-2"}).exitCode, 0);
    EXPECT_EQ(RunCli({"list", "card", ps2}).out, kCardRows);
    EXPECT_EQ(RunCli({"copy-to-card", "--card", ps1, "--pc", pc, "SLPS-2"}).exitCode, 0);
    EXPECT_EQ(RunCli({"list", "card", ps1}).out, "PS ONE\tSLPS-2\t0008\tPS1\nusage\t8\n");
    EXPECT_EQ(RunCli({"delete", "--card", ps1, "SLPS-2"}).exitCode, 0);
    const CliRun clean = RunCli({"check-card", ps2, "--json"});
    EXPECT_EQ(clean.exitCode, 0);
    EXPECT_EQ(clean.out, "{\"ecc\":true,\"file\":\"" + ps2 + "\",\"kind\":\"ps2\",\"problems\":[],\"size\":8650752}\n");

    // One flipped bit in the superblock's page: reported, and the file left as it was.
    std::vector<uint8_t> bytes = ReadBytes(ps2);
    bytes[0x100] ^= 0x10;
    WriteBytes(ps2, bytes);
    const CliRun damaged = RunCli({"check-card", ps2});
    EXPECT_EQ(damaged.exitCode, 1);
    EXPECT_EQ(damaged.out, "file\t" + ps2 + "\nkind\tps2\nsize\t8650752\necc\tyes\n"
                           "problem\tpage 0, bytes 256-383: one data bit differs from its ECC\n");
    EXPECT_EQ(ReadBytes(ps2), bytes);
    WriteText(temp / "notes.txt", "no card");
    const CliRun none = RunCli({"check-card", temp / "notes.txt", "--json"});
    EXPECT_TRUE(none.exitCode == 1 && none.out.find("\"kind\":null") != std::string::npos) << none.out;
}
