// tansu-cli export, import and info, run as a script would run them.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <algorithm>
#include <map>
#include <optional>
#include <tuple>

#include "common/FileStatus.h"
#include "CliRunner.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// Checks the exit code and any given output; .psu times are local, so every run gets the same zone.
CliRun Expect(int exitCode, const std::optional<std::string>& out, const std::vector<std::string>& arguments)
{
    const CliRun run = RunCli(arguments, {.environment = {{"TZ", "JST-9"}}});
    EXPECT_EQ(run.exitCode, exitCode) << run.err;
    EXPECT_EQ(run.out, out.value_or(run.out)) << testing::PrintToString(arguments);
    return run;
}

std::map<std::string, std::vector<uint8_t>> Tree(const std::string& root)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        files[fs::relative(entry.path(), root).string()] = entry.is_regular_file() ? ReadBytes(entry.path()) : std::vector<uint8_t>();
    }
    return files;
}

// "ＴＡＮＳＵ　東京" in Shift-JIS: full-width like real titles, so the .psu name is predictable.
const std::string kSjisTitle = "\x82\x73\x82\x60\x82\x6D\x82\x72\x82\x74\x81\x40\x93\x8C\x8B\x9E";
const std::string kPs2Name = "BASLUS-20001TANSU", kPs1Name = "BASLUS-00974YVES  0";

class CliContainerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteBytes(ps2 + "/icon.sys", MakeIconSys(kSjisTitle, 8, "list.ico"));
        WriteBytes(ps2 + "/list.ico", std::vector<uint8_t>(3000, 0x11));
        WriteBytes(ps2 + "/empty.bin", {});
        WriteBytes(ps2 + "/" + kPs2Name, std::vector<uint8_t>(5000, 0x5A));
        // The file order lies in the seconds of the creation times: icon.sys, the data, list.ico, empty.bin.
        const std::map<std::string, int64_t> created = {
            {"icon.sys", 1700000001}, {kPs2Name, 1700000062}, {"list.ico", 1700000123}, {"empty.bin", 1700000004}};
        for (const auto& [name, seconds] : created) {
            ASSERT_TRUE(WriteFileTimes(ps2 + "/" + name, {seconds, seconds + 1000, seconds + 1000}));
        }
        WriteBytes(ps1, MakePS1Save("PS1 GAME", 2, 0x13));
        fs::create_directories(out);
    }

    TempDir temp;
    const std::string ps2 = temp / "pc/" + kPs2Name, ps1 = temp / "pc/" + kPs1Name, out = temp / "out/";
};

TEST_F(CliContainerTest, ExportedContainersImportBackToTheSameBytesAndInfoTellsEachKind)
{
    Expect(0, "ＴＡＮＳＵ　東京.psu\n", {"export", "--format", "psu", "--to", out, ps2 + "/"});
    Expect(0, kPs2Name + ".npo\n", {"export", "--format=npo", "--to=" + out, ps2});
    Expect(0, kPs1Name + ".mcr\n", {"export", "--format", "mcr", "--to", out, ps1});
    EXPECT_EQ(fs::file_size(out + kPs1Name + ".mcr"), 131072u);
    // In creation order, with times in the zone the program runs in; a .psu keeps the times, so the order.
    const std::string files = "file\ticon.sys\t964\t2023-11-15T07:13:21+09:00\t2023-11-15T07:30:01+09:00\n"
                              "file\t" + kPs2Name + "\t5000\t2023-11-15T07:14:22+09:00\t2023-11-15T07:31:02+09:00\n"
                              "file\tlist.ico\t3000\t2023-11-15T07:15:23+09:00\t2023-11-15T07:32:03+09:00\n"
                              "file\tempty.bin\t0\t2023-11-15T07:13:24+09:00\t2023-11-15T07:30:04+09:00\n";
    // The line break at byte 8 of the title becomes a space, as the reader joins the lines.
    const std::string title = "title\tＴＡＮＳ Ｕ　東京\n";
    const std::string folder = "kind\tps2-folder\nname\t" + kPs2Name + "\n" + title + files;
    TempDir fromPsu, fromNpo;
    Expect(0, "", {"import", "--to", fromPsu.path(), out + "ＴＡＮＳＵ　東京.psu", out + kPs1Name + ".mcr"});
    Expect(0, "", {"import", "--to", fromNpo.path(), out + kPs2Name + ".npo", out + kPs1Name + ".mcr"});
    EXPECT_EQ(Tree(fromPsu.path()), Tree(temp / "pc/"));
    EXPECT_EQ(Tree(fromNpo.path()), Tree(temp / "pc/"));
    Expect(0, folder, {"info", fromPsu / kPs2Name});

    // Extensions that say nothing: the content decides.
    fs::rename(out + "ＴＡＮＳＵ　東京.psu", out + "a.bin");
    fs::rename(out + kPs2Name + ".npo", out + "b.bin");
    fs::rename(out + kPs1Name + ".mcr", out + "c.bin");
    Expect(0, folder, {"info", ps2});
    Expect(0, "kind\ticon.sys\n" + title + "icon\tlist.ico\nicon\tlist.ico\nicon\tlist.ico\n", {"info", ps2 + "/icon.sys"});
    Expect(0, "kind\tpsu\nname\t" + kPs2Name + "\n" + files, {"info", out + "a.bin"});
    Expect(0, "kind\tnpo\nname\tb\nfile\ticon.sys\t964\nfile\t" + kPs2Name + "\t5000\nfile\tlist.ico\t3000\nfile\tempty.bin\t0\n",
           {"info", out + "b.bin"});
    Expect(0, "kind\tps1-save\ntitle\tPS1 GAME\nframes\t3\n", {"info", ps1});
    // A save of two blocks is one save of the card image, at its whole size.
    Expect(0, "kind\tps1-card\nitem\t" + kPs1Name + "\t16384\n", {"info", out + "c.bin"});

    // The import goes by content as info does: a .psu and a card image named .bin import as what they are.
    TempDir fromBin;
    Expect(0, "", {"import", "--to", fromBin.path(), out + "a.bin", out + "c.bin"});
    EXPECT_EQ(Tree(fromBin.path()), Tree(temp / "pc/"));

    const QByteArray json = QByteArray::fromStdString(Expect(0, {}, {"info", "--json", out + "a.bin"}).out);
    const QJsonObject data = QJsonDocument::fromJson(json).object().value("files").toArray()[1].toObject();
    EXPECT_EQ(data.value("created_seconds").toInteger(), 1700000062);
    EXPECT_EQ(data.value("modified").toString(), "2023-11-15T07:31:02+09:00");
    // A save folder says what the save-information pane shows: when its icon.sys was made.
    const QByteArray folderJson = QByteArray::fromStdString(Expect(0, {}, {"info", "--json", ps2}).out);
    EXPECT_EQ(QJsonDocument::fromJson(folderJson).object().value("modified").toString(), "2023/11/15 07:13:21");
}

TEST_F(CliContainerTest, FailuresExitWithOneAndSpareTheOtherSaves)
{
    const CliRun ps2AsMcr = Expect(1, kPs1Name + ".mcr\n", {"export", "--format", "mcr", "--to", out, ps2, ps1});
    EXPECT_NE(ps2AsMcr.err.find(ps2), std::string::npos) << ps2AsMcr.err;
    fs::remove(out + kPs1Name + ".mcr");
    Expect(1, "", {"export", "--format", "psu", "--to", out, ps1});
    EXPECT_TRUE(fs::is_empty(out));

    // A file of no kind the import takes writes nothing and says which it was.
    WriteBytes(out + "junk.mcr", std::vector<uint8_t>(131072, 0xFF));
    const CliRun junk = Expect(1, "", {"import", "--to", out, out + "junk.mcr"});
    EXPECT_NE(junk.err.find("拡張子の判別ミス : mcr " + out + "junk.mcr"), std::string::npos) << junk.err;
    EXPECT_EQ(Tree(out).size(), 1u);

    // A missing target folder is an error, not something to create.
    Expect(1, "", {"export", "--format", "psu", "--to", temp / "missing", ps2});
    Expect(1, "", {"import", "--to", temp / "missing", ps1});
    EXPECT_FALSE(fs::exists(temp / "missing"));
}

// Two saves of one title (one .psu name) or of one folder name (one .npo name)
// exported together: every file is kept, and the output names where each went.
TEST_F(CliContainerTest, ExportKeepsEveryFileAndPrintsTheNamesWritten)
{
    const std::string twin = temp / "other/" + kPs2Name;
    fs::create_directories(twin);
    fs::copy(ps2, twin);
    WriteBytes(twin + "/" + kPs2Name, std::vector<uint8_t>(10, 0x77));
    Expect(0, "ＴＡＮＳＵ　東京.psu\nＴＡＮＳＵ　東京.000.psu\n", {"export", "--format", "psu", "--to", out, ps2, twin});
    Expect(0, kPs2Name + ".npo\n" + kPs2Name + ".000.npo\n", {"export", "--format", "npo", "--to", out, ps2, twin});
    Expect(0, kPs1Name + ".mcr\n", {"export", "--format", "mcr", "--to", out, ps1});
    Expect(0, kPs1Name + ".000.mcr\n", {"export", "--format", "mcr", "--to", out, ps1});
    EXPECT_EQ(Tree(out).size(), 6u);
    EXPECT_NE(ReadBytes(out + "ＴＡＮＳＵ　東京.psu"), ReadBytes(out + "ＴＡＮＳＵ　東京.000.psu"));
    EXPECT_NE(ReadBytes(out + kPs2Name + ".npo"), ReadBytes(out + kPs2Name + ".000.npo"));
}

// Exit 0 only when everything was written; the log tells the true reason.
TEST_F(CliContainerTest, ImportExitsWithOneWhenAnythingWasNotWritten)
{
    Expect(0, "ＴＡＮＳＵ　東京.psu\n", {"export", "--format", "psu", "--to", out, ps2});
    const std::string good = out + "ＴＡＮＳＵ　東京.psu";
    const std::vector<uint8_t> psu = ReadBytes(good);
    auto cut = psu, longName = psu, unusable = psu;
    cut.resize(3 * 1024 + 512 + 100);  // inside the save's data file, which follows icon.sys
    std::fill_n(longName.begin() + 0x40, 300, 'L');  // the save's name: 300 bytes, more than a folder name may have
    std::copy_n("../x", 5, unusable.begin() + 3 * 1024 + 0x40);  // the second file, after icon.sys
    // File, what the log says, how many paths the target holds afterwards.
    const std::tuple<std::string, std::vector<uint8_t>, std::string, size_t> cases[] = {
        {"cut.psu", cut, "エラー : ファイルの長さがファイルの終わりを越えています SaveFilePSU::Load() ", 0},
        {"long.psu", longName, "エラー : フォルダを作成できませんでした SaveFileFolder::Save() ", 0},
        {"unusable.psu", unusable, "エラー : 不正なファイル名をスキップしました SaveFilePSU::Load() ", 4},
    };
    for (const auto& [name, bytes, line, paths] : cases) {
        WriteBytes(out + name, bytes);
        TempDir target;
        const CliRun run = Expect(1, "", {"import", "--to", target.path(), out + name});
        EXPECT_TRUE(run.Says(line + out + name) || run.Says(line + target.path())) << name << run.err;
        EXPECT_EQ(Tree(target.path()).size(), paths) << name;
    }
    EXPECT_TRUE(RunCli({"import", "--to", out, out + "long.psu"}).Says("File name too long"));
    // A failed file does not stop the next one.
    TempDir target;
    Expect(1, "", {"import", "--to", target.path(), out + "cut.psu", good});
    auto expected = Tree(temp / "pc/");
    expected.erase(kPs1Name);
    EXPECT_EQ(Tree(target.path()), expected);
}

// A folder the import may not write into: exit 1, and the log gives the
// system's true reason rather than a missing file. Root writes anywhere; in a
// user namespace of its own it has no such power over the real root's files.
TEST_F(CliContainerTest, ImportIntoAFolderThatCannotBeWrittenFails)
{
    CliOptions options{.environment = {{"TZ", "JST-9"}}};
    std::vector<std::string> prefix;
    if (::geteuid() == 0) {
        if (RunCli({"--user", "true"}, {.program = "/usr/bin/unshare", .environment = {}}).exitCode != 0) {
            GTEST_SKIP() << "running as root and no user namespace to give up its powers in";
        }
        options.program = "/usr/bin/unshare";
        prefix = {"--user", TANSU_CLI_PATH};
    }
    Expect(0, kPs2Name + ".npo\n", {"export", "--format", "npo", "--to", out, ps2});
    const std::string locked = temp / "locked";
    fs::create_directory(locked);
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    prefix.insert(prefix.end(), {"import", "--to", locked, out + kPs2Name + ".npo", ps1});
    const CliRun run = RunCli(prefix, options);
    fs::permissions(locked, fs::perms::owner_all);
    EXPECT_EQ(run.exitCode, 1) << run.err;
    EXPECT_TRUE(run.Says("エラー : フォルダを作成できませんでした SaveFileFolder::Save() " + locked + "/" + kPs2Name)) << run.err;
    EXPECT_TRUE(run.Says("Permission denied")) << run.err;
    EXPECT_FALSE(run.Says("No such file or directory")) << run.err;
    EXPECT_TRUE(fs::is_empty(locked));
}

TEST(CliContainerUsage, UsageErrorsExitWithTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {"export", "--to", "/tmp", "SAVE"}, {"export", "--format", "zip", "--to", "/tmp", "SAVE"}, {"info", "A", "B"},
        {"export", "--format", "psu", "SAVE"}, {"export", "--format", "psu", "--to", "/tmp"}, {"import", "--to", "/tmp"},
        {"export", "--format", "psu", "--to", "/tmp", "--json", "SAVE"}, {"export", "--format", "psu", "SAVE", "--to"},
        {"import", "--format", "psu", "--to", "/tmp", "FILE"}, {"import", "--to", "", "FILE"}, {"info"},
        {"info", "--to", "/tmp", "A"}, {"list", "pc", "--format", "psu", "/tmp"}};
    for (const auto& arguments : cases) {
        EXPECT_NE(Expect(2, "", arguments).err.find("Usage: tansu-cli"), std::string::npos);
    }
}

// The saves of other tools' formats: info tells each, import writes each as
// its save (a PS1 one as a raw file), a second import keeps the first as
// NAME.000, and a file that is not whole writes nothing.
TEST(CliContainerSamples, OtherToolsSavesImportAndTellTheirContents)
{
    if (SamplesDir().empty()) GTEST_SKIP() << "no samples";
    const std::string containers = SamplesDir() + "containers/";
    Expect(0, "kind\tmax\nname\tBASLUS-20963FF1200\ntitle\tＦＦ１２　０１ ００１：２５：２７\nfile\tstatic.ico\t33688\n"
              "file\tBASLUS-20963FF1200\t57864\nfile\ticon.sys\t964\n",
           {"info", containers + "final-fantasy12.max"});
    Expect(0, "kind\tcbs\nname\tBESLES-53900-SYS.00\ntitle\tＫＡＩＤＯ２ Ｓｙｓｔｅｍ　Ｄａｔａ\n"
              "file\tBESLES-53900-SYS.00\t138792\t2007-01-04T22:57:17+09:00\t2007-01-04T22:57:19+09:00\n"
              "file\ticon.00\t27806\t2007-01-04T22:57:19+09:00\t2007-01-04T22:57:20+09:00\n"
              "file\ticon.sys\t964\t2007-01-04T22:57:20+09:00\t2007-01-04T22:57:21+09:00\n",
           {"info", containers + "tokyo-xtreme-racer-drift-2.14091.cbs"});
    Expect(0, "kind\tpsv\nname\tAPOLLO-99PS1\ntitle\tＡｐｏｌｌｏ\nfile\tAPOLLO-99PS1\t8192\t\t\n",
           {"info", containers + "APOLLO-99PS1.PSV"});
    const QByteArray json = QByteArray::fromStdString(Expect(0, {}, {"info", "--json", containers + "max-payne.1394.sps"}).out);
    const QJsonObject sps = QJsonDocument::fromJson(json).object();
    EXPECT_EQ(sps.value("kind").toString(), "sps");
    EXPECT_EQ(sps.value("files").toArray()[0].toObject().value("modified").toString(), "2001-12-21T11:14:02+09:00");

    TempDir target;
    const std::vector<std::string> files = {"max-payne.22050.max", "final-fantasy12.max", "tokyo-xtreme-racer-drift-2.14091.cbs",
                                            "max-payne.1394.sps", "BESLES-50325.PSV", "APOLLO-99PS1.PSV", "APOLLO-99PS2.PSV"};
    std::vector<std::string> arguments = {"import", "--to", target.path()};
    for (const std::string& file : files) {
        arguments.push_back(containers + file);
    }
    Expect(0, "", arguments);
    Expect(0, "", {"import", "--to", target.path(), containers + "APOLLO-99PS1.PSV", containers + "APOLLO-99PS2.PSV"});
    std::map<std::string, size_t> sizes;
    for (const auto& [path, bytes] : Tree(target.path())) {
        sizes[path] = bytes.size();
    }
    const std::map<std::string, size_t> expected = {
        {"BASLUS-20230", 0}, {"BASLUS-20230/icon.sys", 964}, {"BASLUS-20230/PAYNE.ICO", 65512},
        {"BASLUS-20230/invsave.inv", 143640}, {"BASLUS-20230/BASLUS-20230", 100},
        {"BASLUS-20230.000", 0}, {"BASLUS-20230.000/icon.sys", 964}, {"BASLUS-20230.000/PAYNE.ICO", 65512},
        {"BASLUS-20230.000/invsave.inv", 143640}, {"BASLUS-20230.000/BASLUS-20230", 100},
        {"BASLUS-20963FF1200", 0}, {"BASLUS-20963FF1200/static.ico", 33688},
        {"BASLUS-20963FF1200/BASLUS-20963FF1200", 57864}, {"BASLUS-20963FF1200/icon.sys", 964},
        {"BESLES-53900-SYS.00", 0}, {"BESLES-53900-SYS.00/BESLES-53900-SYS.00", 138792},
        {"BESLES-53900-SYS.00/icon.00", 27806}, {"BESLES-53900-SYS.00/icon.sys", 964},
        {"BESLES-50325", 0}, {"BESLES-50325/icon.sys", 964}, {"BESLES-50325/PAYNE.ICO", 65512},
        {"BESLES-50325/invsave.inv", 143640}, {"BESLES-50325/BESLES-50325", 100},
        {"APOLLO-99PS1", 8192}, {"APOLLO-99PS1.000", 8192},
        {"APOLLO-99PS2", 0}, {"APOLLO-99PS2/icon.sys", 964}, {"APOLLO-99PS2/icon.ico", 33688},
        {"APOLLO-99PS2.000", 0}, {"APOLLO-99PS2.000/icon.sys", 964}, {"APOLLO-99PS2.000/icon.ico", 33688}};
    EXPECT_EQ(sizes, expected);

    std::vector<uint8_t> cut = ReadBytes(containers + "tokyo-xtreme-racer-drift-2.14091.cbs");
    cut.resize(cut.size() / 2);
    TempDir empty;
    WriteBytes(empty / "cut.cbs", cut);
    fs::create_directory(empty / "out");
    const CliRun run = Expect(1, "", {"import", "--to", empty / "out", empty / "cut.cbs"});
    EXPECT_TRUE(run.Says("エラー : 展開できないため読み込みませんでした SaveFileCBS::Load() " + empty / "cut.cbs")) << run.err;
    EXPECT_TRUE(fs::is_empty(empty / "out"));
}

// A real card whose save of five blocks lies in pieces: each save counts at its whole size.
TEST(CliContainerSamples, RealCardImageListsItsSavesAtTheirWholeSize)
{
    if (SamplesDir().empty()) GTEST_SKIP() << "no samples";
    Expect(0, "kind\tps1-card\nitem\tBASCUS-94194GT\t40960\nitem\tBASCUS-94194RT\t24576\n",
           {"info", SamplesDir() + "ps1/gran-turismo.26537.gme"});
}

}  // namespace
