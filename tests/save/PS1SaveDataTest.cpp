#include "save/PS1SaveData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace {

void SetColour(std::vector<uint8_t>& save, int index, uint16_t colour)
{
    save[0x60 + 2 * index] = static_cast<uint8_t>(colour & 0xFF);
    save[0x60 + 2 * index + 1] = static_cast<uint8_t>(colour >> 8);
}

// A texel's four bytes as the 32-bit little-endian ARGB value they form.
uint32_t Argb(const PS1SaveData& data, size_t frame, size_t pixel)
{
    const uint8_t* texel = data.frames.at(frame).data() + 4 * pixel;
    return texel[0] | texel[1] << 8 | texel[2] << 16 | static_cast<uint32_t>(texel[3]) << 24;
}

class PS1SaveDataTest : public ::testing::Test {
protected:
    bool LastLogLineIs(const std::string& text) const
    {
        return ReadText(temp / "log.txt").ends_with(" - " + text + " PS1SaveData\n");
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
};

TEST_F(PS1SaveDataTest, EachFailureLogsItsOwnLineAndKeepsNothing)
{
    auto save = MakePS1Save("T", 2);
    WriteBytes(temp / "short.raw", std::vector<uint8_t>(save.begin(), save.begin() + 12288));  // one and a half blocks
    WriteBytes(temp / "empty.raw", {});
    save[1] = 'D';
    WriteBytes(temp / "magic.raw", save);
    std::filesystem::create_directory(temp / "folder.raw");
    const std::pair<std::string, std::string> cases[] = {
        {"short.raw", "セーブデータファイルのサイズが違います"},
        {"empty.raw", "セーブデータファイルを読み込めませんでした"},
        {"magic.raw", "セーブデータファイルのマジックナンバーが違います"},
        {"missing.raw", "セーブデータファイルが開けませんでした"},
        {"folder.raw", "セーブデータファイルが開けませんでした"},
    };
    for (const auto& [name, logged] : cases) {
        const PS1SaveData data(temp / name);
        EXPECT_FALSE(data.valid || !data.title.empty() || !data.frames.empty()) << name;
        EXPECT_TRUE(LastLogLineIs(logged)) << name;
    }
    // Bytes in memory need the whole header.
    save[1] = 'C';
    EXPECT_TRUE(PS1SaveData(std::span(save).first(1152), 8192).valid);
    EXPECT_FALSE(PS1SaveData(std::span(save).first(1151), 8192).valid);
}

TEST_F(PS1SaveDataTest, ReadsTitleAndFramesWithinTheHeader)
{
    auto save = MakePS1Save("\x82\x60\x82\x61", 2, 0x12);
    save[0] = 's';
    save[1] = 'c';
    WriteBytes(temp / "save.raw", save);
    const PS1SaveData data(temp / "save.raw");
    ASSERT_TRUE(data.valid);
    EXPECT_EQ(data.title, "\x82\x60\x82\x61");
    ASSERT_EQ(data.frames.size(), 2u);
    EXPECT_EQ(data.frames[1].size(), PS1SaveData::kFrameBytes);

    // The low 4 bits may announce up to 15 frames, but the header block holds 8.
    save = MakePS1Save("T", 1, 0x1F);
    EXPECT_EQ(PS1SaveData(save, save.size()).frames.size(), 8u);
    EXPECT_TRUE(LastLogLineIs("警告 : アイコンのフレーム数が多すぎます"));

    // A title without a NUL stops where the palette begins.
    std::fill(save.begin() + 4, save.begin() + 0x60, 'A');
    EXPECT_EQ(PS1SaveData(save, save.size()).title, std::string(91, 'A'));
}

TEST(PS1SaveDataColours, PaletteColoursExpandToFullRangeInPixelOrder)
{
    auto save = MakePS1Save("T", 1, 0x12);  // colour 0 is black
    SetColour(save, 1, 0x801F);             // red; bit 15 plays no part
    SetColour(save, 2, 0x03E0);             // green
    SetColour(save, 3, 0x7FFF);             // white
    SetColour(save, 15, 0x7C00);            // blue
    save[0x80] = 0x21;                      // pixel 0 colour 1, pixel 1 colour 2
    save[0x80 + 127] = 0xF3;                // pixel 254 colour 3, pixel 255 colour 15
    save[0x100] = 0x0F;                     // frame 1: pixel 0 colour 15, pixel 1 colour 0
    const PS1SaveData data(save, save.size());
    ASSERT_EQ(data.frames.size(), 2u);
    const std::vector<uint32_t> read = {Argb(data, 0, 0),   Argb(data, 0, 1), Argb(data, 0, 254),
                                        Argb(data, 0, 255), Argb(data, 1, 0), Argb(data, 1, 1)};
    EXPECT_EQ(read, (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFFFFFFFF, 0xFF0000FF, 0xFF0000FF, 0xFF000000}));

    const std::pair<uint16_t, uint32_t> levels[] = {{0, 0}, {1, 8}, {16, 132}, {30, 247}, {31, 255}};
    for (const auto& [level, expanded] : levels) {
        SetColour(save, 0, level);
        EXPECT_EQ(Argb(PS1SaveData(save, save.size()), 0, 2), 0xFF000000 | expanded << 16) << level;
    }
}

TEST(PS1SaveDataSamples, EveryRawSaveReads)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no sample files";
    }
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(samples + "ps1/raw")) {
        const auto bytes = ReadBytes(entry.path().string());
        ASSERT_GE(bytes.size(), 3u);
        const PS1SaveData data(entry.path().string());
        EXPECT_TRUE(data.valid && !data.title.empty()) << entry.path();
        EXPECT_EQ(data.frames.size(), bytes[2] & 0x0Fu) << entry.path();
        ++count;
    }
    EXPECT_GE(count, 5u);
}

}  // namespace
