#include "save/PS1SaveData.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

TEST(PS1SaveData, TitleFramesAndFailures)
{
    TempDir temp;
    ScopedProgramDirectory programDirectory(temp.path());
    auto save = MakePS1Save("\x82\x60\x82\x61", 2, 0x12);
    std::memcpy(save.data(), "sc", 2);
    const PS1SaveData data(save, save.size());
    EXPECT_TRUE(data.valid && data.title == "\x82\x60\x82\x61" && data.frames.size() == 2);
    // The low 4 bits may announce up to 15 frames, but the header block holds 8.
    save[2] = 0x1F;
    EXPECT_EQ(PS1SaveData(save, save.size()).frames.size(), 8u);
    // A title without a NUL stops where the palette begins.
    std::fill(save.begin() + 4, save.begin() + 0x60, 'A');
    EXPECT_EQ(PS1SaveData(save, save.size()).title, std::string(91, 'A'));
    EXPECT_TRUE(PS1SaveData(std::span(save).first(1152), 8192).valid);  // bytes in memory need the whole header
    EXPECT_FALSE(PS1SaveData(std::span(save).first(1151), 8192).valid);

    WriteBytes(temp / "short.raw", std::vector<uint8_t>(save.begin(), save.begin() + 12288));  // one and a half blocks
    WriteBytes(temp / "empty.raw", {});
    save[1] = 'D';
    WriteBytes(temp / "magic.raw", save);
    const std::pair<std::string, std::string> cases[] = {
        {"short.raw", "セーブデータファイルのサイズが違います"},
        {"empty.raw", "セーブデータファイルを読み込めませんでした"},
        {"magic.raw", "セーブデータファイルのマジックナンバーが違います"},
        {"missing.raw", "セーブデータファイルが開けませんでした"},
    };
    for (const auto& [name, logged] : cases) {
        const PS1SaveData failed(temp / name);
        EXPECT_FALSE(failed.valid || !failed.title.empty() || !failed.frames.empty()) << name;
        EXPECT_TRUE(ReadText(temp / "log.txt").ends_with(" - " + logged + " PS1SaveData\n")) << name;
    }
}

TEST(PS1SaveData, PaletteColoursExpandToFullRangeInPixelOrder)
{
    auto save = MakePS1Save("T", 1, 0x12);  // colour 0 is black
    const auto setColour = [&save](size_t index, uint16_t colour) { std::memcpy(&save[0x60 + 2 * index], &colour, 2); };
    const auto argb = [](const PS1SaveData& data, size_t frame, size_t pixel) {  // a texel's bytes as a little-endian ARGB value
        return uint32_t{data.frames.at(frame).at(4 * pixel)} | data.frames[frame].at(4 * pixel + 1) << 8 |
               data.frames[frame].at(4 * pixel + 2) << 16 | uint32_t{data.frames[frame].at(4 * pixel + 3)} << 24;
    };
    setColour(1, 0x801F);     // red; bit 15 plays no part
    setColour(2, 0x03E0);     // green
    setColour(3, 0x7FFF);     // white
    setColour(15, 0x7C00);    // blue
    save[0x80] = 0x21;        // pixel 0 colour 1, pixel 1 colour 2
    save[0x80 + 127] = 0xF3;  // pixel 254 colour 3, pixel 255 colour 15
    save[0x100] = 0x0F;       // frame 1: pixel 0 colour 15, pixel 1 colour 0
    const PS1SaveData data(save, save.size());
    const std::vector<uint32_t> read = {argb(data, 0, 0),   argb(data, 0, 1), argb(data, 0, 254),
                                        argb(data, 0, 255), argb(data, 1, 0), argb(data, 1, 1)};
    EXPECT_EQ(read, (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFFFFFFFF, 0xFF0000FF, 0xFF0000FF, 0xFF000000}));

    const std::pair<uint16_t, uint32_t> levels[] = {{0, 0}, {1, 8}, {16, 132}, {30, 247}, {31, 255}};
    for (const auto& [level, expanded] : levels) {
        setColour(0, level);
        EXPECT_EQ(argb(PS1SaveData(save, save.size()), 0, 2), 0xFF000000 | expanded << 16) << level;
    }
}

}  // namespace
