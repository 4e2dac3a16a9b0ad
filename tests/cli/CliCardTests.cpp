// tansu-cli on the three kinds of card: a folder, a loopback FTP server and
// the stand-in ps2client.
#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/FtpServer.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct Result {
    int exitCode = -1;
    std::string out, err;
};

Result RunCli(const std::vector<std::string>& arguments, const std::string& program = TANSU_CLI_PATH,
              const std::vector<std::pair<QString, QString>>& environment = {})
{
    QStringList list;
    for (const std::string& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    QProcessEnvironment variables = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : environment) {
        variables.insert(name, value);
    }
    QProcess process;
    process.setProcessEnvironment(variables);
    process.setWorkingDirectory("/");
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(QString::fromStdString(program), list);
    EXPECT_TRUE(process.waitForFinished(120'000)) << "tansu-cli did not end";
    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {code, process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

// A plain listing with its rows sorted (a server lists in an order of its own), the usage line last.
std::string Sorted(const std::string& out)
{
    std::vector<std::string> rows;
    std::string usage;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        (line.rfind("usage\t", 0) == 0 ? usage : rows.emplace_back()) = line + "\n";
    }
    std::sort(rows.begin(), rows.end());
    std::string text;
    for (const std::string& row : rows) {
        text += row;
    }
    return text + usage;
}

// A PS2 save of 964 + 3000 bytes (2 + 4 KB) and a PS1 save kept the card's way.
void MakeCard(const std::string& card, const std::string& title)
{
    WriteBytes(card + "BASLUS-1/icon.sys", MakeIconSys(title));
    WriteBytes(card + "BASLUS-1/data", std::vector<uint8_t>(3000, 1));
    WriteBytes(card + "SLPS-2/SLPS-2", MakePS1Save("PS ONE"));
}
const std::string kCardRows = "ONE\tBASLUS-1\t0006\tPS2\nPS ONE\tSLPS-2\t0008\tPS1\nusage\t14\n";

bool Says(const Result& run, const std::string& text) { return run.err.find(text) != std::string::npos; }

TEST(CliCardArguments, BadCardsAndMissingPartsAreUsageErrors)
{
    TempDir temp;
    const std::string dir = temp.path();
    const std::vector<std::vector<std::string>> cases = {
        {"list", "card", "ftp://127.0.0.1/2"},
        {"list", "card", "ftp://127.0.0.1/0/"},
        {"list", "card", "ftp://127.0.0.1"},
        {"list", "card", "ftp:///0"},
        {"list", "card", "ftp://127.0.0.1:0/0"},
        {"list", "card", "ftp://127.0.0.1:65536/0"},
        {"list", "card", "ftp://user@127.0.0.1/0"},
        {"list", "card", "ps2link://127.0.0.1:18194/0"},
        {"list", "card", "ps2link://-x/0"},
        {"list", "card", "http://127.0.0.1/0"},
        {"copy-to-pc", "--pc", dir, "SAVE"},
        {"copy-to-pc", "--card", dir, "SAVE"},
        {"copy-to-card", "--card", dir, "--pc", dir},
        {"delete", "--card", dir, "--pc", dir, "SAVE"},
        {"delete", "--card", dir, "--json", "SAVE"},
        {"delete", "--card", dir, ""},
    };
    for (const auto& arguments : cases) {
        const Result run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, 2) << testing::PrintToString(arguments);
        EXPECT_TRUE(Says(run, "Usage: tansu-cli")) << run.err;
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
    EXPECT_EQ(ReadBytes(pc + "SLPS-2"), MakePS1Save("PS ONE"));
    EXPECT_EQ(RunCli({"copy-to-card", "--card=" + card, "--pc=" + pc, "NEW"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(card + "NEW/icon.sys"), MakeIconSys("NEW"));
    EXPECT_EQ(RunCli({"delete", "--card", card, "NEW", "BASLUS-1"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(card + "NEW"));
    EXPECT_FALSE(fs::exists(card + "BASLUS-1"));

    // A name with no row fails; the names that have one are still done.
    Result run = RunCli({"copy-to-pc", "--card", card, "--pc", pc, "NOPE", "SLPS-2"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Says(run, "メモリーカードにセーブがありません tansu-cli copy-to-pc : NOPE")) << run.err;
    EXPECT_TRUE(fs::is_regular_file(pc + "SLPS-2.000"));
    run = RunCli({"copy-to-card", "--card", card, "--pc", pc, "NOPE"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Says(run, "PCリストにセーブがありません tansu-cli copy-to-card : NOPE")) << run.err;

    // A save holding a folder cannot be deleted whole: still listed afterwards.
    WriteBytes(card + "KEEP/icon.sys", MakeIconSys("KEEP"));
    WriteBytes(card + "KEEP/sub/file", {1});
    run = RunCli({"delete", "--card", card, "KEEP"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Says(run, "セーブデータを削除できませんでした tansu-cli delete : KEEP")) << run.err;

    // A mistyped PC folder is refused, not made.
    EXPECT_EQ(RunCli({"copy-to-pc", "--card", card, "--pc", temp / "typo", "SLPS-2"}).exitCode, 1);
    EXPECT_FALSE(fs::exists(temp / "typo"));
}

TEST(CliCardTest, FtpCardListsCopiesAndDeletesInTheNamedSlot)
{
    TempDir temp;
    const std::string pc = temp / "pc/", slot0 = temp / "server/mc/0/";
    MakeCard(slot0, "ONE");
    // The same names in slot 1, with another title.
    MakeCard(temp / "server/mc/1/", "SLOT ONE");
    fs::create_directories(pc);
    FtpServer server(temp / "server");
    const std::string card0 = "ftp://" + server.Address() + "/0", card1 = "ftp://" + server.Address() + "/1";

    EXPECT_EQ(Sorted(RunCli({"list", "card", card0}).out), kCardRows);
    EXPECT_EQ(Sorted(RunCli({"list", "card", card1}).out),
              "PS ONE\tSLPS-2\t0008\tPS1\nSLOT ONE\tBASLUS-1\t0006\tPS2\nusage\t14\n");

    EXPECT_EQ(RunCli({"copy-to-pc", "--card", card1, "--pc", pc, "BASLUS-1"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(pc + "BASLUS-1/icon.sys"), MakeIconSys("SLOT ONE"));
    EXPECT_EQ(ReadBytes(pc + "BASLUS-1/data"), std::vector<uint8_t>(3000, 1));
    WriteBytes(pc + "NEW/icon.sys", MakeIconSys("NEW"));
    EXPECT_EQ(RunCli({"copy-to-card", "--card", card0, "--pc", pc, "NEW"}).exitCode, 0);
    EXPECT_EQ(ReadBytes(slot0 + "NEW/icon.sys"), MakeIconSys("NEW"));
    EXPECT_EQ(RunCli({"delete", "--card", card0, "NEW", "SLPS-2"}).exitCode, 0);
    EXPECT_FALSE(fs::exists(slot0 + "NEW"));
    EXPECT_FALSE(fs::exists(slot0 + "SLPS-2"));

    // A file the server cannot send: the save is not copied whole.
    fs::create_symlink("nowhere", slot0 + "BASLUS-1/broken");
    Result run = RunCli({"copy-to-pc", "--card", card0, "--pc", pc, "BASLUS-1"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Says(run, "FTP : ファイルのダウンロードに失敗しました broken -> nowhere")) << run.err;
    EXPECT_TRUE(Says(run, "セーブデータをコピーできませんでした tansu-cli copy-to-pc : BASLUS-1")) << run.err;

    // A slot without a card, and a server that is gone.
    TempDir other;
    fs::create_directories(other / "mc/0");
    FtpServer oneCard(other.path());
    run = RunCli({"list", "card", "ftp://" + oneCard.Address() + "/1"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Says(run, "エラー : スロット1にメモリーカードがありません tansu-cli list card")) << run.err;
    server.Stop();
    run = RunCli({"delete", "--card", card0, "BASLUS-1"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Says(run, "エラー : メモリーカードに接続できませんでした tansu-cli delete : " + card0)) << run.err;
}

// The PS2Link backend runs ps2client from the program's own folder: a copy of
// tansu-cli sits beside the stand-in.
TEST(CliCardTest, PS2LinkCardThroughTheStandInClient)
{
    TempDir temp;
    const std::string program = temp / "program/", pc = temp / "pc/";
    fs::create_directories(program);
    fs::create_directories(pc);
    fs::copy_file(TANSU_CLI_PATH, program + "tansu-cli");
    fs::create_symlink(TANSU_PS2CLIENT_STUB, program + "ps2client");
    WriteText(program + "ps2netfs.irx", "module");
    MakeCard(temp / "console/mc0/", "ONE");
    const std::vector<std::pair<QString, QString>> console = {
        {"PS2CLIENT_STUB_ROOT", QString::fromStdString(temp / "console")}};
    const std::string cli = program + "tansu-cli";

    EXPECT_EQ(Sorted(RunCli({"list", "card", "ps2link://127.0.0.1/0"}, cli, console).out), kCardRows);
    EXPECT_EQ(RunCli({"copy-to-pc", "--card", "ps2link://127.0.0.1/0", "--pc", pc, "BASLUS-1"}, cli, console).exitCode, 0);
    EXPECT_EQ(ReadBytes(pc + "BASLUS-1/icon.sys"), MakeIconSys("ONE"));
    EXPECT_EQ(ReadBytes(pc + "BASLUS-1/data"), std::vector<uint8_t>(3000, 1));
    const Result run = RunCli({"list", "card", "ps2link://127.0.0.1/1"}, cli, console);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(Says(run, "スロット1にメモリーカードがありません")) << run.err;
}

}  // namespace
