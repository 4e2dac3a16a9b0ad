// tansu-cli export, import and info, run as a script would run them.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "common/FileStatus.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct CliResult {
    int exitCode = -1;
    std::string out, err;
};

CliResult Cli(const std::vector<std::string>& arguments)
{
    QStringList list;
    for (const std::string& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    QProcess process;
    process.setWorkingDirectory("/");
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(TANSU_CLI_PATH, list);
    EXPECT_TRUE(process.waitForFinished(-1)) << "tansu-cli did not run";
    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {code, process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

QJsonObject InfoJson(const std::string& path)
{
    const CliResult run = Cli({"info", "--json", path});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
}

// Every file under a folder, by its path inside it, with its bytes.
std::map<std::string, std::vector<uint8_t>> Tree(const std::string& root)
{
    std::map<std::string, std::vector<uint8_t>> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) {
            files[fs::relative(entry.path(), root).string()] = ReadBytes(entry.path().string());
        }
    }
    return files;
}

// "ＴＡＮＳＵ　東京" in Shift-JIS: full-width like real titles, so the .psu name is predictable.
const std::string kSjisTitle = "\x82\x73\x82\x60\x82\x6D\x82\x72\x82\x74\x81\x40\x93\x8C\x8B\x9E";
const std::string kTitle = "ＴＡＮＳＵ　東京";
const std::string kPs2Name = "BASLUS-20001TANSU";
// A real kind of PS1 name: two spaces inside, and the list shows only "0".
const std::string kPs1Name = "BASLUS-00974YVES  0";

class CliContainerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string save = pc + kPs2Name + "/";
        WriteBytes(save + "icon.sys", MakeIconSys(kSjisTitle, 8, "list.ico"));
        WriteBytes(save + "list.ico", std::vector<uint8_t>(3000, 0x11));
        WriteBytes(save + "empty.bin", {});
        WriteBytes(save + kPs2Name, std::vector<uint8_t>(5000, 0x5A));
        // The file order lies in the seconds of the creation times: icon.sys, the data, list.ico, empty.bin.
        const std::map<std::string, int64_t> created = {
            {"icon.sys", 1700000001}, {kPs2Name, 1700000062}, {"list.ico", 1700000123}, {"empty.bin", 1700000004}};
        for (const auto& [name, seconds] : created) {
            ASSERT_TRUE(WriteFileTimes(save + name, {seconds, seconds + 1000, seconds + 1000}));
        }
        ps1 = MakePS1Save("PS1 GAME", 2, 0x13);
        WriteBytes(pc + kPs1Name, ps1);
        fs::create_directories(out);
        fs::create_directories(back);
    }

    TempDir temp;
    const std::string pc = temp / "pc/";
    const std::string out = temp / "out/";
    const std::string back = temp / "back/";
    std::vector<uint8_t> ps1;
};

TEST_F(CliContainerTest, ExportedContainersImportBackToTheSameBytes)
{
    const CliResult psu = Cli({"export", "--format", "psu", "--to", out, pc + kPs2Name + "/"});
    EXPECT_EQ(psu.exitCode, 0) << psu.err;
    EXPECT_EQ(psu.out, kTitle + ".psu\n");
    const CliResult npo = Cli({"export", "--format=npo", "--to=" + out, pc + kPs2Name});
    EXPECT_EQ(npo.exitCode, 0) << npo.err;
    EXPECT_EQ(npo.out, kPs2Name + ".npo\n");
    const CliResult mcr = Cli({"export", "--format", "mcr", "--to", out, pc + kPs1Name});
    EXPECT_EQ(mcr.exitCode, 0) << mcr.err;
    EXPECT_EQ(mcr.out, kPs1Name + ".mcr\n");
    EXPECT_EQ(fs::file_size(out + kPs1Name + ".mcr"), 131072u);

    const auto original = Tree(pc);
    for (const std::string& container : {kTitle + ".psu", kPs2Name + ".npo"}) {
        SCOPED_TRACE(container);
        TempDir target;
        const CliResult run = Cli({"import", "--to", target.path(), out + container, out + kPs1Name + ".mcr"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(Tree(target.path()), original);
    }
    // The .psu keeps the times, so the imported save keeps its file order.
    const CliResult run = Cli({"import", "--to", back, out + kTitle + ".psu"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> order;
    for (const QJsonValue& file : InfoJson(back + kPs2Name).value("files").toArray()) {
        order.push_back(file.toObject().value("name").toString().toStdString());
    }
    EXPECT_EQ(order, (std::vector<std::string>{"icon.sys", kPs2Name, "list.ico", "empty.bin"}));
}

// A time zone for the programs this test starts: .psu times are local times.
class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* zone)
    {
        if (const char* old = std::getenv("TZ")) {
            previous = old;
        }
        setenv("TZ", zone, 1);
    }
    ~ScopedTimeZone()
    {
        if (previous) {
            setenv("TZ", previous->c_str(), 1);
        } else {
            unsetenv("TZ");
        }
    }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

private:
    std::optional<std::string> previous;
};

TEST_F(CliContainerTest, InfoTellsEachKindByItsContent)
{
    const ScopedTimeZone japan("JST-9");
    ASSERT_EQ(Cli({"export", "--format", "psu", "--to", out, pc + kPs2Name}).exitCode, 0);
    ASSERT_EQ(Cli({"export", "--format", "npo", "--to", out, pc + kPs2Name}).exitCode, 0);
    ASSERT_EQ(Cli({"export", "--format", "mcr", "--to", out, pc + kPs1Name}).exitCode, 0);
    // Extensions that say nothing: the content decides.
    fs::rename(out + kTitle + ".psu", out + "a.bin");
    fs::rename(out + kPs2Name + ".npo", out + "b.bin");
    fs::rename(out + kPs1Name + ".mcr", out + "c.bin");

    const QJsonObject iconSys = InfoJson(pc + kPs2Name + "/icon.sys");
    EXPECT_EQ(iconSys.value("kind").toString(), "icon.sys");
    // The line break at byte 8 becomes a space, as the reader joins the lines.
    EXPECT_EQ(iconSys.value("title").toString().toStdString(), "ＴＡＮＳ Ｕ　東京");
    EXPECT_EQ(iconSys.value("icons").toArray(), QJsonArray({"list.ico", "list.ico", "list.ico"}));

    const QJsonObject folder = InfoJson(pc + kPs2Name);
    EXPECT_EQ(folder.value("kind").toString(), "ps2-folder");
    EXPECT_EQ(folder.value("name").toString().toStdString(), kPs2Name);
    const QJsonArray files = folder.value("files").toArray();
    ASSERT_EQ(files.size(), 4);
    EXPECT_EQ(files[1].toObject().value("name").toString().toStdString(), kPs2Name);
    EXPECT_EQ(files[1].toObject().value("size").toInteger(), 5000);
    EXPECT_EQ(files[1].toObject().value("created_seconds").toInteger(), 1700000062);
    EXPECT_EQ(files[1].toObject().value("created").toString(), "2023-11-15T07:14:22+09:00");
    EXPECT_EQ(files[1].toObject().value("modified_seconds").toInteger(), 1700001062);

    const QJsonObject psu = InfoJson(out + "a.bin");
    EXPECT_EQ(psu.value("kind").toString(), "psu");
    EXPECT_EQ(psu.value("name").toString().toStdString(), kPs2Name);
    ASSERT_EQ(psu.value("files").toArray().size(), 4);
    EXPECT_EQ(psu.value("files").toArray()[2].toObject().value("created_seconds").toInteger(), 1700000123);

    const CliResult npo = Cli({"info", out + "b.bin"});
    EXPECT_EQ(npo.exitCode, 0) << npo.err;
    EXPECT_EQ(npo.out, "kind\tnpo\nname\tb\nfile\ticon.sys\t964\nfile\t" + kPs2Name +
                           "\t5000\nfile\tlist.ico\t3000\nfile\tempty.bin\t0\n");

    const CliResult raw = Cli({"info", pc + kPs1Name});
    EXPECT_EQ(raw.exitCode, 0) << raw.err;
    EXPECT_EQ(raw.out, "kind\tps1-save\ntitle\tPS1 GAME\nframes\t3\n");

    // A save of two blocks is one save of the image, at its whole size.
    const CliResult card = Cli({"info", out + "c.bin"});
    EXPECT_EQ(card.exitCode, 0) << card.err;
    EXPECT_EQ(card.out, "kind\tps1-card\nitem\t" + kPs1Name + "\t16384\n");
}

TEST_F(CliContainerTest, AFormatThatDoesNotFitTheSaveFailsOnlyThatSave)
{
    const CliResult ps2AsMcr = Cli({"export", "--format", "mcr", "--to", out, pc + kPs2Name, pc + kPs1Name});
    EXPECT_EQ(ps2AsMcr.exitCode, 1);
    EXPECT_EQ(ps2AsMcr.out, kPs1Name + ".mcr\n");
    EXPECT_NE(ps2AsMcr.err.find(pc + kPs2Name), std::string::npos) << ps2AsMcr.err;

    const CliResult ps1AsPsu = Cli({"export", "--format", "psu", "--to", back, pc + kPs1Name});
    EXPECT_EQ(ps1AsPsu.exitCode, 1);
    EXPECT_EQ(ps1AsPsu.out, "");
    EXPECT_TRUE(fs::is_empty(back));
}

TEST_F(CliContainerTest, MissingFoldersAndUnknownFilesFail)
{
    const std::string missing = temp / "missing";
    EXPECT_EQ(Cli({"export", "--format", "psu", "--to", missing, pc + kPs2Name}).exitCode, 1);
    EXPECT_EQ(Cli({"import", "--to", missing, pc + kPs1Name}).exitCode, 1);
    EXPECT_FALSE(fs::exists(missing));
    EXPECT_EQ(Cli({"export", "--format", "psu", "--to", out, pc + "NO-SUCH-SAVE"}).exitCode, 1);
    EXPECT_EQ(Cli({"import", "--to", back, pc + "no-such.psu"}).exitCode, 1);

    WriteText(temp / "notes.txt", "not a save");
    for (const std::string& path : {temp / "notes.txt", missing}) {
        const CliResult run = Cli({"info", path});
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(path), std::string::npos) << run.err;
    }
}

TEST(CliContainerUsage, UsageErrorsExitWithTwo)
{
    const std::vector<std::vector<std::string>> cases = {
        {"export", "--to", "/tmp", "SAVE"},
        {"export", "--format", "zip", "--to", "/tmp", "SAVE"},
        {"export", "--format", "psu", "SAVE"},
        {"export", "--format", "psu", "--to", "/tmp"},
        {"export", "--format", "psu", "--to", "/tmp", "--json", "SAVE"},
        {"export", "--format", "psu", "--to", "/tmp", "--to", "/tmp", "SAVE"},
        {"export", "--format", "psu", "SAVE", "--to"},
        {"import", "--to", "/tmp"},
        {"import", "--format", "psu", "--to", "/tmp", "FILE"},
        {"import", "--to", "", "FILE"},
        {"info"},
        {"info", "A", "B"},
        {"info", "--to", "/tmp", "A"},
        {"list", "pc", "--format", "psu", "/tmp"},
    };
    for (const auto& arguments : cases) {
        std::string joined;
        for (const auto& argument : arguments) {
            joined += "[" + argument + "]";
        }
        SCOPED_TRACE(joined);
        const CliResult run = Cli(arguments);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("Usage: tansu-cli"), std::string::npos) << run.err;
    }
}

// Real images: a DexDrive file cut short after its last block, and a card whose
// save of five blocks lies in pieces; each save matches its raw copy.
TEST(CliContainerSamples, CardImagesListTheirSavesAtTheirWholeSize)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no samples";
    }
    const std::vector<std::pair<std::string, std::map<std::string, qint64>>> cases = {
        {"ps1/castlevania-symphony-of-the-night.1368.gme", {{"BASLUS-00067DRAX01", 8192}}},
        {"ps1/gran-turismo.26537.gme", {{"BASCUS-94194GT", 40960}, {"BASCUS-94194RT", 24576}}},
    };
    for (const auto& [image, expected] : cases) {
        SCOPED_TRACE(image);
        std::map<std::string, qint64> found;
        for (const QJsonValue& item : InfoJson(samples + image).value("items").toArray()) {
            found[item.toObject().value("name").toString().toStdString()] = item.toObject().value("size").toInteger();
        }
        for (const auto& [name, size] : expected) {
            EXPECT_EQ(found[name], size) << name;
        }
    }
}

TEST(CliContainerSamples, RealSaveFolderRoundTripsThroughPsu)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no samples";
    }
    // Holds an empty file: a .psu writes no data area for it.
    const std::string save = samples + "ps2-saves/BASLUS-21334Grandia3";
    TempDir out, back;
    const CliResult run = Cli({"export", "--format", "psu", "--to", out.path(), save});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(run.out.back(), '\n');
    const CliResult imported = Cli({"import", "--to", back.path(), out / run.out.substr(0, run.out.size() - 1)});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    const auto original = Tree(save);
    auto copy = Tree(back / "BASLUS-21334Grandia3");
    EXPECT_EQ(copy, original);
}

}  // namespace
