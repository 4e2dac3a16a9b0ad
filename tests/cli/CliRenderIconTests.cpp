// tansu-cli render-icon on real saves, run as a script would run it.
#include <QImage>
#include <QProcess>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

struct CliResult {
    int exitCode = -1;
    std::string err;
};

CliResult RunCli(const std::vector<std::string>& arguments, const std::string& cwd = "/")
{
    QStringList list;
    for (const std::string& argument : arguments) {
        list << QString::fromStdString(argument);
    }
    QProcess process;
    process.setWorkingDirectory(QString::fromStdString(cwd));
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(TANSU_CLI_PATH, list);
    EXPECT_TRUE(process.waitForFinished(-1)) << "tansu-cli did not run";
    EXPECT_TRUE(process.readAllStandardOutput().isEmpty());
    const int code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return {code, process.readAllStandardError().toStdString()};
}

QImage ReadPng(const std::string& path)
{
    QImage image;
    EXPECT_TRUE(image.load(QString::fromStdString(path), "PNG")) << path;
    return image.convertToFormat(QImage::Format_ARGB32);
}

bool HasColour(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if ((image.pixel(x, y) & 0x00FFFFFFu) != 0) {
                return true;
            }
        }
    }
    return false;
}

class CliRenderIconTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (SamplesDir().empty()) {
            GTEST_SKIP() << "no sample saves";
        }
    }
    TempDir temp;
};

// Relative names are taken from where the command was started, not from the program directory.
TEST_F(CliRenderIconTest, DrawsAPs2SaveAtTwoMomentsOfItsAnimation)
{
    const std::string save = SamplesDir() + "ps2-saves/BASLUS-21334Grandia3";
    ASSERT_EQ(RunCli({"render-icon", save, "--time", "0", "--size", "64", "-o", "t0.png"}, temp.path()).exitCode, 0);
    ASSERT_EQ(RunCli({"render-icon", save, "--time=2500", "--size=64", "-o", "t2500.png"}, temp.path()).exitCode, 0);

    const QImage first = ReadPng(temp / "t0.png");
    const QImage later = ReadPng(temp / "t2500.png");
    EXPECT_EQ(first.size(), QSize(64, 64));
    EXPECT_EQ(later.size(), QSize(64, 64));
    EXPECT_TRUE(HasColour(first));
    EXPECT_NE(first, later);
    // Nothing but the two pictures: no temporary is left beside them.
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 2);
}

// The flat PS1 picture covers every pixel of the pane, edges included, at the pane's own size.
TEST_F(CliRenderIconTest, DrawsAPs1SaveOverTheWholePicture)
{
    const std::string save = SamplesDir() + "ps1/raw/BASLUS-00067DRAX00.castlevania-sotn.1782.raw";
    ASSERT_EQ(RunCli({"render-icon", save, "-o", temp / "ps1.png"}).exitCode, 0);
    const QImage image = ReadPng(temp / "ps1.png");
    ASSERT_EQ(image.size(), QSize(198, 198));
    EXPECT_TRUE(HasColour(image));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ASSERT_EQ(qAlpha(image.pixel(x, y)), 255) << x << "," << y;
        }
    }
}

TEST_F(CliRenderIconTest, FailsWithoutAnIconOrAPlaceToWrite)
{
    const std::string noModel = SamplesDir() + "ps2-saves/BEDATA-SYSTEM";
    CliResult run = RunCli({"render-icon", noModel, "-o", temp / "none.png"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("エラー : 描画できるアイコンがありません tansu-cli render-icon " + noModel), std::string::npos)
        << run.err;
    EXPECT_FALSE(fs::exists(temp / "none.png"));

    run = RunCli({"render-icon", temp / "missing", "-o", temp / "none.png"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(fs::exists(temp / "none.png"));

    const std::string save = SamplesDir() + "ps2-saves/BASLUS-21334Grandia3";
    EXPECT_EQ(RunCli({"render-icon", save, "--size", "8", "-o", temp / "no/such/folder.png"}).exitCode, 1);
    // A file already there is replaced only by a whole picture.
    WriteText(temp / "kept.png", "old");
    EXPECT_EQ(RunCli({"render-icon", noModel, "-o", temp / "kept.png"}).exitCode, 1);
    EXPECT_EQ(ReadText(temp / "kept.png"), "old");
}

TEST_F(CliRenderIconTest, RefusesBadOptions)
{
    const std::string save = SamplesDir() + "ps2-saves/BASLUS-21334Grandia3";
    const std::string out = temp / "out.png";
    const std::vector<std::vector<std::string>> cases = {
        {"--time", "-1", "-o", out},         {"--time", "+5", "-o", out},       {"--time", "4294967296", "-o", out},
        {"--time", "", "-o", out},           {"--time", "1.5", "-o", out},      {"--size", "0", "-o", out},
        {"--size", "2049", "-o", out},       {"--size", "64px", "-o", out},     {"--size", " 64", "-o", out},
        {"--size", "64"},                    {"-o", ""},                        {"-o", out, "-o", out},
        {"-o", out, "--json"},               {"-o", out, "extra"},
    };
    for (std::vector<std::string> arguments : cases) {
        arguments.insert(arguments.begin(), {"render-icon", save});
        EXPECT_EQ(RunCli(arguments).exitCode, 2) << arguments[2] << " " << arguments[3];
    }
    EXPECT_EQ(RunCli({"render-icon", "-o", out}).exitCode, 2);
    EXPECT_EQ(RunCli({"info", save, "--time", "0"}).exitCode, 2);
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
