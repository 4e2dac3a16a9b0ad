// tansu-cli render-icon on real saves, run as a script would run it.
#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

// A PNG's pixels as ARGB words; 32-bit rows have no padding.
std::vector<QRgb> Pixels(const std::string& path, QSize size)
{
    QImage image;
    EXPECT_TRUE(image.load(QString::fromStdString(path), "PNG")) << path;
    image = image.convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(image.size(), size) << path;
    const auto* bits = reinterpret_cast<const QRgb*>(image.constBits());
    return {bits, bits + image.width() * image.height()};
}

class CliRenderIconTest : public ::testing::Test {
protected:
    void SetUp() override { if (SamplesDir().empty()) GTEST_SKIP() << "no sample saves"; }
    TempDir temp;
    const std::string ps2 = SamplesDir() + "ps2-saves/BASLUS-21334Grandia3", out = temp / "out.png";
    const std::string ps1 = SamplesDir() + "ps1/raw/BASLUS-00067DRAX00.castlevania-sotn.1782.raw";
};

// Names are taken from where the command was started, the flat PS1 picture covers every pixel, no temporary is left.
TEST_F(CliRenderIconTest, DrawsPs2AnimationMomentsAndAWholePs1Picture)
{
    for (const auto& args : {std::vector<std::string>{"render-icon", ps2, "--time", "0", "--size", "64", "-o", "t0.png"},
                             {"render-icon", ps2, "--time=2500", "--size=64", "-o", "t2500.png"},
                             {"render-icon", ps1, "-o", "ps1.png"}}) {
        EXPECT_EQ(RunCli(args, {.cwd = temp.path(), .environment = {}}).exitCode, 0) << testing::PrintToString(args);
    }
    const auto coloured = [](QRgb pixel) { return (pixel & 0x00FFFFFFu) != 0; };
    const std::vector<QRgb> first = Pixels(temp / "t0.png", {64, 64}), flat = Pixels(temp / "ps1.png", {198, 198});
    EXPECT_TRUE(std::any_of(first.begin(), first.end(), coloured));
    EXPECT_NE(first, Pixels(temp / "t2500.png", {64, 64}));
    EXPECT_TRUE(std::any_of(flat.begin(), flat.end(), coloured));
    EXPECT_TRUE(std::all_of(flat.begin(), flat.end(), [](QRgb pixel) { return qAlpha(pixel) == 255; }));
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 3);
}

// Failures exit with 1 and bad options with 2; neither writes anything, nor replaces a file already there.
TEST_F(CliRenderIconTest, FailuresAndBadOptionsWriteNothing)
{
    const std::string noModel = SamplesDir() + "ps2-saves/BEDATA-SYSTEM";
    WriteText(out, "old");
    const CliRun run = RunCli({"render-icon", noModel, "-o", out});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.Says("エラー : 描画できるアイコンがありません tansu-cli render-icon " + noModel)) << run.err;
    EXPECT_EQ(RunCli({"render-icon", temp / "missing", "-o", out}).exitCode, 1);
    EXPECT_EQ(RunCli({"render-icon", ps2, "--size", "8", "-o", temp / "no/such.png"}).exitCode, 1);
    const std::vector<std::vector<std::string>> cases = {
        {ps2, "--time", "-1", "-o", out}, {ps2, "--time", "4294967296", "-o", out}, {ps2, "--size", "64"},
        {"-o", out}, {ps2, "--size", "0", "-o", out}, {ps2, "--size", "2049", "-o", out}, {ps2, "--size", "64px", "-o", out},
        {ps2, "--time", "1.5", "-o", out}, {ps2, "-o", out, "-o", out}, {ps2, "-o", out, "--json"}, {ps2, "-o", out, "x"}};
    for (std::vector<std::string> arguments : cases) {
        arguments.insert(arguments.begin(), "render-icon");
        EXPECT_EQ(RunCli(arguments).exitCode, 2) << testing::PrintToString(arguments);
    }
    EXPECT_EQ(RunCli({"info", ps2, "--time", "0"}).exitCode, 2);
    EXPECT_TRUE(ReadText(out) == "old" && !fs::exists(temp / "no"));
}

}  // namespace
