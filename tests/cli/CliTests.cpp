// Runs tansu-cli as a script would and checks what it prints and returns.
#include <fcntl.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// The JSON rows written the way the plain output writes them, unescaped.
std::string JsonRows(const std::vector<std::string>& arguments)
{
    const QJsonObject root = QJsonDocument::fromJson(QByteArray::fromStdString(RunCli(arguments).out)).object();
    const QJsonValue usage = root.value("usage_kb");
    std::string text = usage.isUndefined() ? "" : "usage\t" + std::to_string(usage.toInteger(-1)) + "\n";
    for (const QJsonValue& row : root.value("rows").toArray()) {
        for (const char* key : {"title", "name", "size", "type"}) {
            text += row.toObject().value(key).toString().toStdString() + "\t";
        }
        text.back() = '\n';
    }
    return text;
}

// In byte-wise name order: a PS2 save of 964 + 0 + 2049 bytes (2 + 2 + 4 KB) titled "TANSU 東京" in
// Shift-JIS, a PS2 save without icon.sys, a raw PS1 save and a plain file that is no save.
const std::string kRows = "TANSU 東京\tBASLUS-20001TANSU\t0008\tPS2\n破損ファイル\tBROKEN\t0002\tPS2\n"
                          "PS1 GAME\tSLPS-00001PS1\t0008\tPS1\n破損ファイル\tnotes.txt\t0008\tPS1\n";

class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteBytes(saves + "BASLUS-20001TANSU/icon.sys", MakeIconSys("TANSU \x93\x8C\x8B\x9E"));
        WriteBytes(saves + "BASLUS-20001TANSU/empty.bin", {});
        WriteBytes(saves + "BASLUS-20001TANSU/BASLUS-20001TANSU", std::vector<uint8_t>(2049, 0x5A));
        WriteText(saves + "BROKEN/data.bin", "no icon.sys here");
        WriteBytes(saves + "SLPS-00001PS1", MakePS1Save("PS1 GAME"));
        WriteText(saves + "notes.txt", "not a save");
        WriteBytes(temp / "odd/" + kOddName + "/icon.sys", MakeIconSys("T"));
    }
    const std::string kOddName = "TAB\tLINE\nBACK\\SLASH\x01";
    TempDir temp;
    const std::string saves = temp / "saves/";
};

TEST_F(CliTest, PrintsRowsAndExitsWithZeroOneOrTwo)
{
    WriteBytes(temp / "--help/SAVE/icon.sys", MakeIconSys("T"));
    fs::create_directory(temp / "empty");
    const std::string missing = temp / "no-such-folder", file = saves + "notes.txt", usage = "Usage: tansu-cli";
    // An expected output without a final line break need only begin the output.
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        std::string out, errHas;
    } cases[] = {
        {{"list", "pc", "saves"}, 0, kRows, ""},
        // Every PS1 candidate counts 8 KB, readable or not: 8 + 2 + 8 + 8.
        {{"list", "card", saves}, 0, kRows + "usage\t26\n", ""},
        {{"list", "card", "empty"}, 0, "usage\t0\n", ""},
        // A tab or a line break in a name must not split a plain row.
        {{"list", "pc", "odd"}, 0, "T\tTAB\\tLINE\\nBACK\\\\SLASH\\x01\t0002\tPS2\n", ""},
        {{"list", "pc", "--", "--help"}, 0, "T\tSAVE\t0002\tPS2\n", ""},
        {{"--help"}, 0, usage, ""}, {{"list", "pc", "--help"}, 0, usage, ""}, {{"list", "pc", missing}, 1, "", missing},
        {{"list", "card", missing}, 1, "", missing}, {{"list", "pc", file, "--json"}, 1, "", file},
        {{"list", "card", file}, 1, "", file}, {{}, 2, "", usage}, {{"frobnicate"}, 2, "", usage},
        {{"list", "pc"}, 2, "", usage}, {{"list", "disk", saves}, 2, "", usage}, {{"list", "pc", ""}, 2, "", usage},
        {{"list", "pc", saves, "extra"}, 2, "", usage}, {{"list", "pc", saves, "--bogus"}, 2, "", usage},
        {{"list", "card", "--json"}, 2, "", usage},
    };
    for (const auto& c : cases) {
        const CliRun run = RunCli(c.arguments, {.cwd = temp.path(), .environment = {}});
        const bool whole = c.out.empty() || c.out.back() == '\n';
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_EQ(whole ? run.out : run.out.substr(0, c.out.size()), c.out) << testing::PrintToString(c.arguments);
        EXPECT_TRUE(run.Says(c.errHas)) << run.err;
    }
    EXPECT_FALSE(fs::exists(missing));
    // The command line has no captions: no language file to miss.
    EXPECT_FALSE(RunCli({"list", "pc", saves}).Says("言語")) << "warned about a language file";
}

TEST_F(CliTest, JsonKeepsNamesAsTheyAreAndGivesCardUsageAsANumber)
{
    const auto entries = [&] { return std::distance(fs::recursive_directory_iterator(saves), {}); };
    const auto before = entries();
    EXPECT_EQ(JsonRows({"list", "pc", "--json", saves}), kRows);
    EXPECT_EQ(JsonRows({"--json", "list", "card", saves}), "usage\t26\n" + kRows);
    EXPECT_EQ(entries(), before);
    EXPECT_EQ(JsonRows({"list", "pc", "--json", temp / "odd"}), "T\t" + kOddName + "\t0002\tPS2\n");
}

// Card listings stage files in the program directory; runs at once must each see their own card.
TEST(CliList, CardListingsRunningAtOnceKeepTheirOwnTitles)
{
    TempDir temp;
    std::string expected[4];
    std::future<CliRun> runs[4];
    for (size_t run = 0; run < 4; ++run) {
        for (int save = 100; save < 125; ++save) {
            const std::string name = "S" + std::to_string(save), title = "CARD" + std::to_string(run) + " " + name;
            WriteBytes(temp / (std::to_string(run) + "/" + name + "/icon.sys"), MakeIconSys(title));
            expected[run] += title + "\t" + name + "\t0002\tPS2\n";
        }
        runs[run] = std::async(std::launch::async, [&, run] { return RunCli({"list", "card", temp / std::to_string(run)}); });
    }
    for (size_t run = 0; run < 4; ++run) {
        EXPECT_EQ(runs[run].get().out, expected[run] + "usage\t50\n") << "card " << run;
    }
}

// A run that holds the program folder (stuck on a console that never answers)
// once made every later run wait silently forever.
TEST(CliList, ARunWaitsAFewSecondsForAnotherThenNamesIt)
{
    TempDir temp;
    const std::string program = temp / "program/";
    fs::create_directories(program);
    fs::copy_file(TANSU_CLI_PATH, program + "tansu-cli");
    fs::create_directories(temp / "saves");
    const int file = ::open((program + "staging.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(file, 0);
    struct flock request {};
    request.l_type = F_WRLCK;
    request.l_whence = SEEK_SET;
    ASSERT_EQ(::fcntl(file, F_SETLK, &request), 0);
    const CliRun run = RunCli({"list", "pc", temp / "saves"}, {.program = program + "tansu-cli", .environment = {}});
    ::close(file);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.Says("pid " + std::to_string(::getpid()))) << run.err;
    EXPECT_EQ(RunCli({"list", "pc", temp / "saves"}, {.program = program + "tansu-cli", .environment = {}}).exitCode, 0);
}

}  // namespace
