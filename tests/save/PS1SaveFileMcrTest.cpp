#include "save/PS1SaveFileMcr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

constexpr size_t kBlock = 8192;

struct Frame { uint8_t state; uint32_t size; int16_t next; std::string name; };

// A card image of the given frames (the rest free) with their checksums; the block of frame i holds i + 1.
std::vector<uint8_t> Card(const std::vector<Frame>& frames)
{
    std::vector<uint8_t> image(131072, 0);
    std::memcpy(image.data(), "MC", 2);
    for (size_t i = 0; i < 15; ++i) {
        const Frame frame = i < frames.size() ? frames[i] : Frame{0xA0, 0, 0, ""};
        uint8_t* at = image.data() + 0x80 + 128 * i;
        at[0] = frame.state;
        std::memcpy(at + 4, &frame.size, 4);
        std::memcpy(at + 8, &frame.next, 2);
        std::memcpy(at + 0x0A, frame.name.data(), std::min<size_t>(frame.name.size(), 21));
        std::memset(image.data() + 0x2000 + kBlock * i, i < frames.size() ? static_cast<int>(i + 1) : 0, kBlock);
    }
    for (uint8_t* at = image.data(); at < image.data() + 0x800; at += 128) {  // the header frame too
        at[127] = std::accumulate(at, at + 127, uint8_t{0}, std::bit_xor<uint8_t>());
    }
    return image;
}

// Each item as "name:blocks "; a card gives one item per block, holding its chain up to that block.
std::string Items(const PS1SaveFileMcr& card)
{
    return std::accumulate(card.items.begin(), card.items.end(), std::string(), [](const std::string& items, const auto& item) {
        return items + item.name + ":" + std::to_string(item.data.size() / kBlock) + " ";
    });
}

class PS1SaveFileMcrTest : public ::testing::Test {
protected:
    bool Logged(const std::string& text) const { return ReadText(temp / "log.txt").find(text) != std::string::npos; }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    PS1SaveFileMcr card;
};

TEST_F(PS1SaveFileMcrTest, WritingAndRawRoundTrip)
{
    const std::string name = "BASLUS-00067DRAX00";
    auto expected = Card({{0x51, 3 * kBlock, 1, name}, {0x52, 3 * kBlock, 2, name}, {0x53, 3 * kBlock, -1, name}});
    card.items.push_back({name, std::vector<uint8_t>(expected.begin() + 0x2000, expected.begin() + 0x2000 + 3 * kBlock)});
    ASSERT_TRUE(card.Save(temp / "out.mcr"));
    EXPECT_EQ(ReadBytes(temp / "out.mcr"), expected);

    // A single-block save followed by another comes back as two separate saves.
    auto second = MakePS1Save("B", 2, 0x12);
    second.back() = 0x42;
    WriteBytes(temp / "in/BESCES-01923Buddies", MakePS1Save("A"));
    WriteBytes(temp / "in/BASLUS-01360FF4", second);
    card.items.clear();
    ASSERT_TRUE(card.LoadRaw(temp / "in/BESCES-01923Buddies") && card.LoadRaw(temp / "in/BASLUS-01360FF4"));
    PS1SaveFileMcr back;
    ASSERT_TRUE(card.Save(temp / "card.mcr") && back.Load(temp / "card.mcr"));
    EXPECT_EQ(Items(back), "BESCES-01923Buddies:1 BASLUS-01360FF4:1 BASLUS-01360FF4:2 ");
    ASSERT_TRUE(std::filesystem::create_directory(temp / "out") && back.SaveRaw(temp / "out"));
    EXPECT_EQ(ReadBytes(temp / "out/BESCES-01923Buddies"), MakePS1Save("A"));
    EXPECT_EQ(ReadBytes(temp / "out/BASLUS-01360FF4"), second);

    WriteBytes(temp / "short", {second.begin(), second.begin() + 8000});
    EXPECT_FALSE(card.LoadRaw(temp / "short"));
    EXPECT_TRUE(Logged("PS1SaveFileMcr::LoadRaw() : PS1セーブデータでない可能性があります : " + temp / "short"));
    EXPECT_EQ(card.items.size(), 2u);
    card.items = {{"A", std::vector<uint8_t>(10 * kBlock)}, {"B", std::vector<uint8_t>(6 * kBlock)}};
    EXPECT_FALSE(card.Save(temp / "full.mcr"));
    EXPECT_TRUE(Logged("PS1SaveFileMcr::Save() : 必要ブロック数が多すぎます"));
    EXPECT_FALSE(std::filesystem::exists(temp / "full.mcr"));
}

TEST_F(PS1SaveFileMcrTest, HostileImagesAndNames)
{
    const std::string full(21, 'N');
    ASSERT_TRUE(card.LoadImage(Card({{0x51, 3 * kBlock, 1, "LOOP"}, {0x52, 0, 0, ""},  // 0 -> 1 -> 0
                                     {0x51, 2 * kBlock, 20, "FAR"},                    // 2 -> past the card
                                     {0x53, 0, -1, ""}, {0x51, 2 * kBlock, 3, "BACK"},  // 4 -> 3: a later block before its first
                                     {0xA1, 2 * kBlock, 6, "GONE"}, {0xA3, 0, -1, "GONE"},  // deleted
                                     {0x51, kBlock, -1, full}, {0x51, kBlock, -1, "../up"},
                                     {0x51, 2 * kBlock, 0, "STOLEN"}}),  // 9 -> block 0, already taken
                               "hostile.mcr"));
    EXPECT_EQ(Items(card), "LOOP:1 LOOP:2 FAR:1 BACK:1 BACK:2 " + full + ":1 STOLEN:1 ");
    EXPECT_TRUE(Logged("エラー : 不正なファイル名をスキップしました PS1SaveFileMcr::Load() hostile.mcr : ../up"));
    EXPECT_EQ(std::pair(card.items[4].data[0], card.items[4].data[kBlock]), std::pair(uint8_t{5}, uint8_t{4}));  // BACK: 4, 3

    // Such names are refused on writing too; a name too long for a frame is cut, never inside a character.
    card.items = {{"../up", std::vector<uint8_t>(kBlock)}, {std::string(19, 'x') + "\x83\x5C", MakePS1Save("T")}};
    std::filesystem::create_directory(temp / "out");
    EXPECT_FALSE(card.SaveRaw(temp / "out"));
    EXPECT_EQ(std::distance(std::filesystem::recursive_directory_iterator(temp.path()), {}), 3);  // log.txt, out, the other save
    ASSERT_TRUE(card.Save(temp / "cut.mcr"));
    EXPECT_EQ(ReadText(temp / "cut.mcr").substr(0x10A, 21), std::string(19, 'x') + std::string(2, '\0'));  // the name of frame 1

    // A header of another tool: the image is the last 131072 bytes when they start with "MC".
    auto file = Card({{0x51, kBlock, -1, "SAVE"}});
    file.insert(file.begin(), 200, 0x33);
    PS1SaveFileMcr loaded;
    ASSERT_TRUE(loaded.LoadImage(file, "card"));
    EXPECT_EQ(Items(loaded), "SAVE:1 ");
    EXPECT_EQ(loaded.items.at(0).data, std::vector<uint8_t>(kBlock, 1));
}

TEST_F(PS1SaveFileMcrTest, RealCardImagesGiveTheirLiveSaves)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no sample files";
    }
    const std::pair<std::string, std::string> cards[] = {
        {"castlevania-symphony-of-the-night.1368.gme", "BASLUS-00067DRAX01:1 "},  // DexDrive, cut after its last block
        {"ps1test.vgs", "BASLUS-0125100000-00:1 BASLUS-01360FF4:1 BASLUS-01360FF4:2 BESCES-01923Buddies:1 "},
        {"tony-hawks-pro-skater-4.24197.gme", "BASLUS-01485PNMOG01:1 "},  // no header despite its name
    };
    for (const auto& [file, items] : cards) {
        PS1SaveFileMcr loaded;
        ASSERT_TRUE(loaded.Load(samples + "ps1/" + file)) << file;
        EXPECT_EQ(Items(loaded), items) << file;
    }
    // A save in pieces, deleted ones between them: the last item of a save holds all its blocks in chain order.
    ASSERT_TRUE(card.Load(samples + "ps1/gran-turismo.26537.gme"));
    for (const std::string name : {"BASCUS-94194GT", "BASCUS-94194RT"}) {
        const auto whole = std::ranges::find(card.items.rbegin(), card.items.rend(), name, &PS1SaveFileMcr::Item::name);
        EXPECT_TRUE(whole != card.items.rend() && whole->data == ReadBytes(samples + "ps1/raw/" + name + ".gran-turismo.26537.raw"))
            << name;
    }
}

}  // namespace
