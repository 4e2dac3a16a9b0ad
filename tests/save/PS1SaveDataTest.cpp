#include "save/PS1SaveData.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/TextCodec.h"
#include "support/TestSupport.h"

namespace {

class PS1SaveDataTest : public ::testing::Test {
protected:
    PS1SaveData ReadFile(const std::vector<uint8_t>& bytes)
    {
        WriteBytes(temp / "save.raw", bytes);
        return PS1SaveData(temp / "save.raw");
    }
    bool Logged(const std::string& text) const { return Count(text) > 0; }
    size_t Count(const std::string& text) const
    {
        const std::string log = ReadText(temp / "log.txt");
        size_t count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
            ++count;
        }
        return count;
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
};

void SetColour(std::vector<uint8_t>& save, int index, uint16_t colour)
{
    save[0x60 + 2 * index] = static_cast<uint8_t>(colour & 0xFF);
    save[0x60 + 2 * index + 1] = static_cast<uint8_t>(colour >> 8);
}

// Blue, green, red, alpha of the first pixel of frame 0 painted with palette colour 0.
std::vector<uint8_t> FirstTexel(uint16_t colour)
{
    auto save = MakePS1Save("T");
    SetColour(save, 0, colour);
    const PS1SaveData data(save, save.size());
    if (!data.valid || data.frames.empty()) {
        return {};
    }
    return {data.frames[0].begin(), data.frames[0].begin() + 4};
}

TEST_F(PS1SaveDataTest, LowerCaseMagicAndTwoFrames)
{
    auto save = MakePS1Save("\x82\x60\x82\x61", 2, 0x12);
    save[0] = 's';
    save[1] = 'c';
    const PS1SaveData data = ReadFile(save);
    ASSERT_TRUE(data.valid);
    EXPECT_EQ(data.title, "\x82\x60\x82\x61");
    ASSERT_EQ(data.frames.size(), 2u);
    for (const auto& frame : data.frames) {
        EXPECT_EQ(frame.size(), PS1SaveData::kFrameBytes);
    }
}

TEST_F(PS1SaveDataTest, EachFailureHasItsOwnLogLine)
{
    auto save = MakePS1Save("T");
    save.resize(8000);
    EXPECT_FALSE(ReadFile(save).valid);
    EXPECT_TRUE(Logged("セーブデータファイルのサイズが違います PS1SaveData"));

    EXPECT_FALSE(ReadFile({}).valid);
    EXPECT_TRUE(Logged("セーブデータファイルを読み込めませんでした PS1SaveData"));

    save = MakePS1Save("T");
    save[1] = 'D';
    const PS1SaveData badMagic = ReadFile(save);
    EXPECT_FALSE(badMagic.valid);
    EXPECT_TRUE(badMagic.title.empty());
    EXPECT_TRUE(badMagic.frames.empty());
    EXPECT_TRUE(Logged("セーブデータファイルのマジックナンバーが違います PS1SaveData"));
}

TEST_F(PS1SaveDataTest, PathsThatAreNotFilesFailCleanly)
{
    EXPECT_FALSE(PS1SaveData(temp / "missing.raw").valid);
    EXPECT_TRUE(Logged("セーブデータファイルが開けませんでした PS1SaveData"));

    std::filesystem::create_directory(temp / "folder");
    EXPECT_FALSE(PS1SaveData(temp / "folder").valid);
    EXPECT_EQ(Count("セーブデータファイルが開けませんでした PS1SaveData"), 2u);
}

TEST_F(PS1SaveDataTest, FrameCountBeyondTheHeaderIsCapped)
{
    const PS1SaveData data = ReadFile(MakePS1Save("T", 1, 0x1F));
    EXPECT_TRUE(data.valid);
    EXPECT_EQ(data.frames.size(), 8u);
    EXPECT_TRUE(Logged("警告 : アイコンのフレーム数が多すぎます PS1SaveData"));

    const PS1SaveData none = ReadFile(MakePS1Save("T", 1, 0x10));
    EXPECT_TRUE(none.valid);
    EXPECT_TRUE(none.frames.empty());
}

TEST(PS1SaveDataParse, ColourExpansion)
{
    EXPECT_EQ(FirstTexel(0x7FFF), (std::vector<uint8_t>{255, 255, 255, 255}));
    EXPECT_EQ(FirstTexel(0x001F), (std::vector<uint8_t>{0, 0, 255, 255}));
    EXPECT_EQ(FirstTexel(0x801F), FirstTexel(0x001F));
    EXPECT_EQ(FirstTexel(0x03E0), (std::vector<uint8_t>{0, 255, 0, 255}));
    EXPECT_EQ(FirstTexel(0x7C00), (std::vector<uint8_t>{255, 0, 0, 255}));
    const std::pair<uint16_t, uint8_t> levels[] = {{0, 0}, {1, 8}, {16, 132}, {30, 247}, {31, 255}};
    for (const auto& [level, expanded] : levels) {
        EXPECT_EQ(FirstTexel(level)[2], expanded) << level;
    }
}

TEST(PS1SaveDataParse, PixelOrderAndFramePlacement)
{
    auto save = MakePS1Save("T", 1, 0x12);
    SetColour(save, 1, 0x001F);  // red
    SetColour(save, 2, 0x03E0);  // green
    SetColour(save, 15, 0x7C00);  // blue
    save[0x80] = 0x21;        // pixel 0 colour 1, pixel 1 colour 2
    save[0x80 + 127] = 0xF0;  // pixel 254 colour 0, pixel 255 colour 15
    save[0x100] = 0x0F;       // frame 1, pixel 0 colour 15
    const PS1SaveData data(save, save.size());
    ASSERT_TRUE(data.valid);
    ASSERT_EQ(data.frames.size(), 2u);
    const auto texel = [&](size_t frame, size_t pixel) {
        return std::vector<uint8_t>(data.frames[frame].begin() + 4 * pixel, data.frames[frame].begin() + 4 * pixel + 4);
    };
    EXPECT_EQ(texel(0, 0), (std::vector<uint8_t>{0, 0, 255, 255}));
    EXPECT_EQ(texel(0, 1), (std::vector<uint8_t>{0, 255, 0, 255}));
    EXPECT_EQ(texel(0, 254), (std::vector<uint8_t>{0, 0, 0, 255}));
    EXPECT_EQ(texel(0, 255), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(texel(1, 0), (std::vector<uint8_t>{255, 0, 0, 255}));
    EXPECT_EQ(texel(1, 1), (std::vector<uint8_t>{0, 0, 0, 255}));
}

TEST(PS1SaveDataParse, TitleStopsBeforeThePalette)
{
    auto save = MakePS1Save("");
    for (size_t i = 4; i < 0x60; ++i) {
        save[i] = 'A';
    }
    const PS1SaveData data(save, save.size());
    ASSERT_TRUE(data.valid);
    EXPECT_EQ(data.title, std::string(91, 'A'));

    save[10] = 0;
    EXPECT_EQ(PS1SaveData(save, save.size()).title, "AAAAAA");
}

TEST(PS1SaveDataParse, InMemoryBytesNeedTheWholeHeader)
{
    const auto save = MakePS1Save("T");
    EXPECT_TRUE(PS1SaveData(std::span(save).first(1152), 8192).valid);
    EXPECT_FALSE(PS1SaveData(std::span(save).first(1151), 8192).valid);
    EXPECT_FALSE(PS1SaveData(save, 8193).valid);
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
        EXPECT_TRUE(data.valid) << entry.path();
        EXPECT_FALSE(data.title.empty()) << entry.path();
        EXPECT_EQ(data.frames.size(), bytes[2] & 0x0Fu) << entry.path();
        ++count;
    }
    EXPECT_GE(count, 5u);
}

}  // namespace
