// Runs tansu-cli as a script would and checks what it prints and returns.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "support/TestSupport.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct RunResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// A started tansu-cli, its working directory a fresh temporary folder (or the
// one given), standard output and standard error captured in files there.
class CliRun {
public:
    explicit CliRun(const std::vector<std::string>& arguments, const std::string& workingDirectory = "")
        : outPath(scratch / "stdout"), errPath(scratch / "stderr")
    {
        const std::string cwd = workingDirectory.empty() ? scratch.path() : workingDirectory;
        std::vector<std::string> argvStrings{TANSU_CLI_PATH};
        argvStrings.insert(argvStrings.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& argument : argvStrings) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);

        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addchdir_np(&actions, cwd.c_str());
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
            ADD_FAILURE() << "cannot start " << argv[0];
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CliRun() { Wait(); }
    CliRun(const CliRun&) = delete;
    CliRun& operator=(const CliRun&) = delete;

    RunResult Wait()
    {
        if (pid > 0) {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            pid = -1;
            result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            result.out = ReadText(outPath);
            result.err = ReadText(errPath);
        }
        return result;
    }

private:
    TempDir scratch;
    std::string outPath;
    std::string errPath;
    pid_t pid = -1;
    RunResult result;
};

RunResult RunCli(const std::vector<std::string>& arguments, const std::string& workingDirectory = "")
{
    return CliRun(arguments, workingDirectory).Wait();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    EXPECT_EQ(start, text.size()) << "output does not end with a line break";
    return lines;
}

QJsonObject ParseJson(const std::string& text)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << text;
    EXPECT_TRUE(document.isObject());
    return document.object();
}

std::vector<std::string> JsonRow(const QJsonValue& value)
{
    const QJsonObject row = value.toObject();
    EXPECT_EQ(row.size(), 4);
    return {row.value("title").toString().toStdString(), row.value("name").toString().toStdString(),
            row.value("size").toString().toStdString(), row.value("type").toString().toStdString()};
}

std::set<std::string> TreeOf(const std::string& root)
{
    std::set<std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        entries.insert(entry.path().string() + ":" +
                       (entry.is_regular_file() ? std::to_string(entry.file_size()) : std::string("dir")));
    }
    return entries;
}

// "TANSU 東京" in Shift-JIS.
const std::string kSjisTitle = "TANSU \x93\x8C\x8B\x9E";
const std::string kTitle = "TANSU 東京";
const std::string kDamaged = "破損ファイル";

// A folder holding, in byte-wise name order (directories also sort first):
// a PS2 save of 964 + 0 + 2049 bytes (2 + 2 + 4 KB), a PS2 save without
// icon.sys, a raw PS1 save and a plain file that is no save.
void FillSaves(const std::string& folder)
{
    WriteBytes(folder + "BASLUS-20001TANSU/icon.sys", MakeIconSys(kSjisTitle));
    WriteBytes(folder + "BASLUS-20001TANSU/empty.bin", {});
    WriteBytes(folder + "BASLUS-20001TANSU/BASLUS-20001TANSU", std::vector<uint8_t>(2049, 0x5A));
    WriteText(folder + "BROKEN/data.bin", "no icon.sys here");
    WriteBytes(folder + "SLPS-00001PS1", MakePS1Save("PS1 GAME"));
    WriteText(folder + "notes.txt", "not a save");
}

const std::vector<std::vector<std::string>> kExpectedRows = {
    {kTitle, "BASLUS-20001TANSU", "0008", "PS2"},
    {kDamaged, "BROKEN", "0002", "PS2"},
    {"PS1 GAME", "SLPS-00001PS1", "0008", "PS1"},
    {kDamaged, "notes.txt", "0008", "PS1"},
};

std::vector<std::string> PlainLines(const std::vector<std::vector<std::string>>& rows)
{
    std::vector<std::string> lines;
    for (const auto& row : rows) {
        lines.push_back(row[0] + "\t" + row[1] + "\t" + row[2] + "\t" + row[3]);
    }
    return lines;
}

class CliListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = temp / "saves/";
        FillSaves(folder);
    }

    TempDir temp;
    std::string folder;
};

TEST_F(CliListTest, PcPlainPrintsOneTabSeparatedLinePerRowInListOrder)
{
    const RunResult run = RunCli({"list", "pc", folder});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out), PlainLines(kExpectedRows));
}

TEST_F(CliListTest, PcJsonCarriesTheColumnTextsAndNoUsage)
{
    const RunResult run = RunCli({"list", "pc", "--json", folder});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject root = ParseJson(run.out);
    EXPECT_FALSE(root.contains("usage_kb"));
    const QJsonArray rows = root.value("rows").toArray();
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(kExpectedRows.size()));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(JsonRow(rows.at(i)), kExpectedRows[static_cast<size_t>(i)]) << "row " << i;
    }
}

TEST_F(CliListTest, RelativeFolderIsTakenFromTheCallersDirectory)
{
    const RunResult run = RunCli({"list", "pc", "saves"}, temp.path());
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Lines(run.out), PlainLines(kExpectedRows));
}

TEST_F(CliListTest, CardPlainEndsWithTheUsageLineAndLeavesTheCardUnchanged)
{
    const std::set<std::string> before = TreeOf(folder);
    const RunResult run = RunCli({"list", "card", folder});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // Every PS1 candidate counts 8 KB, readable or not: 8 + 2 + 8 + 8.
    std::vector<std::string> expected = PlainLines(kExpectedRows);
    expected.push_back("usage\t26");
    EXPECT_EQ(Lines(run.out), expected);
    EXPECT_EQ(TreeOf(folder), before);
}

TEST_F(CliListTest, CardJsonHasUsageAsANumber)
{
    const RunResult run = RunCli({"--json", "list", "card", folder});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const QJsonObject root = ParseJson(run.out);
    ASSERT_TRUE(root.value("usage_kb").isDouble());
    EXPECT_EQ(root.value("usage_kb").toInteger(), 26);
    const QJsonArray rows = root.value("rows").toArray();
    ASSERT_EQ(rows.size(), static_cast<qsizetype>(kExpectedRows.size()));
    for (qsizetype i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(JsonRow(rows.at(i)), kExpectedRows[static_cast<size_t>(i)]) << "row " << i;
    }
}

TEST(CliList, EmptyCardFolderUsesNothing)
{
    TempDir temp;
    const RunResult run = RunCli({"list", "card", temp.path()});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "usage\t0\n");
}

// A tab or a line break in a name must not split a plain row; JSON keeps it as it is.
TEST(CliList, ControlCharactersInNamesAreEscapedInPlainOutputOnly)
{
    TempDir temp;
    const std::string name = "TAB\tLINE\nBACK\\SLASH\x01";
    WriteBytes(temp / name + "/icon.sys", MakeIconSys("T"));

    const RunResult plain = RunCli({"list", "pc", temp.path()});
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
    EXPECT_EQ(plain.out, "T\tTAB\\tLINE\\nBACK\\\\SLASH\\x01\t0002\tPS2\n");

    const RunResult json = RunCli({"list", "pc", "--json", temp.path()});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    const QJsonArray rows = ParseJson(json.out).value("rows").toArray();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(JsonRow(rows.at(0)), (std::vector<std::string>{"T", name, "0002", "PS2"}));
}

// Card listings stage files in the program directory under fixed names; runs
// at the same time must still each see their own card.
TEST(CliList, CardListingsRunningAtOnceKeepTheirOwnTitles)
{
    constexpr int kRuns = 4;
    constexpr int kSaves = 25;
    TempDir temp;
    std::vector<std::string> expected(kRuns);
    for (int run = 0; run < kRuns; ++run) {
        for (int save = 0; save < kSaves; ++save) {
            const std::string title = "CARD" + std::to_string(run) + " SAVE" + std::to_string(save);
            const std::string name = "S" + std::to_string(100 + save);
            WriteBytes(temp / ("card" + std::to_string(run) + "/" + name + "/icon.sys"), MakeIconSys(title));
            expected[static_cast<size_t>(run)] += title + "\t" + name + "\t0002\tPS2\n";
        }
        expected[static_cast<size_t>(run)] += "usage\t" + std::to_string(2 * kSaves) + "\n";
    }
    std::vector<std::unique_ptr<CliRun>> runs;
    for (int run = 0; run < kRuns; ++run) {
        runs.push_back(std::make_unique<CliRun>(
            std::vector<std::string>{"list", "card", temp / ("card" + std::to_string(run))}));
    }
    for (int run = 0; run < kRuns; ++run) {
        const RunResult result = runs[static_cast<size_t>(run)]->Wait();
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_EQ(result.out, expected[static_cast<size_t>(run)]) << "card " << run;
    }
}

TEST(CliFailure, MissingFolderFailsWithoutCreatingIt)
{
    TempDir temp;
    const std::string missing = temp / "no-such-folder";
    for (const char* kind : {"pc", "card"}) {
        SCOPED_TRACE(kind);
        const RunResult run = RunCli({"list", kind, missing});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
        EXPECT_FALSE(fs::exists(missing));
    }
}

TEST(CliFailure, AFileIsNotAFolder)
{
    TempDir temp;
    const std::string file = temp / "file.txt";
    WriteText(file, "x");
    for (const char* kind : {"pc", "card"}) {
        SCOPED_TRACE(kind);
        const RunResult run = RunCli({"list", kind, file, "--json"});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(file), std::string::npos) << run.err;
    }
}

TEST(CliUsage, UsageErrorsExitWithTwoAndTheUsageOnStandardError)
{
    TempDir temp;
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate"},
        {"list"},
        {"list", "pc"},
        {"list", "card", "--json"},
        {"list", "disk", temp.path()},
        {"list", "pc", temp.path(), "extra"},
        {"list", "pc", temp.path(), "--bogus"},
        {"list", "pc", ""},
    };
    for (const auto& arguments : cases) {
        std::string joined;
        for (const auto& argument : arguments) {
            joined += "[" + argument + "]";
        }
        SCOPED_TRACE(joined);
        const RunResult run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("Usage: tansu-cli"), std::string::npos) << run.err;
    }
}

TEST(CliUsage, HelpGoesToStandardOutput)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"--help"}, std::vector<std::string>{"list", "pc", "--help"}}) {
        const RunResult run = RunCli(arguments);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out.rfind("Usage: tansu-cli", 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }
}

TEST(CliUsage, DoubleDashAllowsAFolderNamedLikeAnOption)
{
    TempDir temp;
    WriteBytes(temp / "--help/SAVE/icon.sys", MakeIconSys("T"));
    const RunResult run = RunCli({"list", "pc", "--", "--help"}, temp / "--help");
    EXPECT_EQ(run.exitCode, 1) << "no folder --help inside --help";

    const RunResult inParent = RunCli({"list", "pc", "--", "--help"}, temp.path());
    EXPECT_EQ(inParent.exitCode, 0) << inParent.err;
    EXPECT_EQ(inParent.out, "T\tSAVE\t0002\tPS2\n");
}

}  // namespace
