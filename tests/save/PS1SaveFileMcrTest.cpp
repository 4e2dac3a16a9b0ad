#include "save/PS1SaveFileMcr.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace {

constexpr size_t kBlock = 8192;
constexpr size_t kImage = 131072;

struct Frame {
    uint8_t state;
    uint32_t size;
    int16_t next;
    std::string name;
    bool operator==(const Frame&) const = default;
};

Frame FrameAt(const std::vector<uint8_t>& image, size_t index)
{
    const uint8_t* at = image.data() + 0x80 + 128 * index;
    const auto* name = reinterpret_cast<const char*>(at + 0x0A);
    Frame frame{at[0], 0, 0, std::string(name, ::strnlen(name, 21))};
    std::memcpy(&frame.size, at + 4, 4);
    std::memcpy(&frame.next, at + 8, 2);
    return frame;
}

// A card image of the given frames (the rest free), block i filled with i + 1.
std::vector<uint8_t> Card(const std::vector<Frame>& frames)
{
    std::vector<uint8_t> image(kImage, 0);
    image[0] = 'M';
    image[1] = 'C';
    for (size_t i = 0; i < 15; ++i) {
        const Frame frame = i < frames.size() ? frames[i] : Frame{0xA0, 0, -1, ""};
        uint8_t* at = image.data() + 0x80 + 128 * i;
        at[0] = frame.state;
        std::memcpy(at + 4, &frame.size, 4);
        std::memcpy(at + 8, &frame.next, 2);
        std::memcpy(at + 0x0A, frame.name.data(), std::min<size_t>(frame.name.size(), 21));
        std::memset(image.data() + 0x2000 + kBlock * i, static_cast<int>(i + 1), kBlock);
    }
    return image;
}

using SaveList = std::vector<std::pair<std::string, size_t>>;

// Each save and its block count: a card gives one item per block, holding its chain up to that block.
SaveList Saves(const PS1SaveFileMcr& card)
{
    SaveList saves;
    for (size_t i = 0; i < card.items.size(); ++i) {
        const auto& item = card.items[i];
        if (i > 0 && item.name == card.items[i - 1].name && item.data.size() == card.items[i - 1].data.size() + kBlock) {
            saves.back().second += 1;
        } else {
            saves.emplace_back(item.name, item.data.size() / kBlock);
        }
    }
    return saves;
}

class PS1SaveFileMcrTest : public ::testing::Test {
protected:
    bool Logged(const std::string& text) const { return ReadText(temp / "log.txt").find(text) != std::string::npos; }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    PS1SaveFileMcr card;
};

TEST_F(PS1SaveFileMcrTest, ExportLayoutOfAThreeBlockSave)
{
    card.items.push_back({"BASLUS-00067DRAX00", MakePS1Save("T", 3)});
    card.items[0].data[kBlock * 2 + 5] = 0xEE;
    ASSERT_TRUE(card.Save(temp / "out.mcr"));
    const auto image = ReadBytes(temp / "out.mcr");
    ASSERT_EQ(image.size(), kImage);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 2), "MC");
    for (auto frame = image.begin(); frame != image.begin() + 0x800; frame += 128) {  // each frame's last byte: xor of the rest
        EXPECT_EQ(std::accumulate(frame, frame + 127, uint8_t{0}, std::bit_xor<uint8_t>()), frame[127]) << frame - image.begin();
    }
    const std::string& name = card.items[0].name;
    const Frame used[] = {{0x51, 3 * kBlock, 1, name}, {0x52, 3 * kBlock, 2, name}, {0x53, 3 * kBlock, -1, name}};
    for (size_t i = 0; i < 15; ++i) {
        const Frame frame = FrameAt(image, i);
        EXPECT_EQ(frame, (i < 3 ? used[i] : Frame{0xA0, 0, frame.next, ""})) << i;  // a free frame links nowhere
    }
    EXPECT_EQ(image[0x2000 + kBlock * 2 + 5], 0xEE);
    EXPECT_TRUE(std::all_of(image.begin() + 0x800, image.begin() + 0x2000, [](uint8_t b) { return b == 0; }));
}

TEST_F(PS1SaveFileMcrTest, RawToImageToRawAndBack)
{
    // A single-block save followed by another comes back as two separate saves.
    const auto first = MakePS1Save("A", 1);
    auto second = MakePS1Save("B", 2, 0x12);
    second.back() = 0x42;
    WriteBytes(temp / "in/BESCES-01923Buddies", first);
    WriteBytes(temp / "in/BASLUS-01360FF4", second);
    ASSERT_TRUE(card.LoadRaw(temp / "in/BESCES-01923Buddies"));
    ASSERT_TRUE(card.LoadRaw(temp / "in/BASLUS-01360FF4"));
    ASSERT_TRUE(card.Save(temp / "card.mcr"));

    PS1SaveFileMcr back;
    ASSERT_TRUE(back.Load(temp / "card.mcr"));
    EXPECT_EQ(Saves(back), (SaveList{{"BESCES-01923Buddies", 1}, {"BASLUS-01360FF4", 2}}));
    std::filesystem::create_directory(temp / "out");
    ASSERT_TRUE(back.SaveRaw(temp / "out"));
    EXPECT_EQ(ReadBytes(temp / "out/BESCES-01923Buddies"), first);
    EXPECT_EQ(ReadBytes(temp / "out/BASLUS-01360FF4"), second);

    // Failures log their line and add or write nothing.
    second.resize(8000);
    WriteBytes(temp / "short", second);
    EXPECT_FALSE(card.LoadRaw(temp / "short"));
    EXPECT_TRUE(Logged("PS1SaveFileMcr::LoadRaw() : PS1セーブデータでない可能性があります : " + temp / "short"));
    EXPECT_FALSE(card.Load(temp / "none"));
    EXPECT_TRUE(Logged("PS1SaveFileMcr::Load() : ファイルを開けませんでした : " + temp / "none"));
    EXPECT_EQ(card.items.size(), 2u);
    EXPECT_FALSE(card.Save(temp / "missing/x.mcr"));
    EXPECT_TRUE(Logged("PS1SaveFileMcr::Save() : ファイルを開けませんでした : " + temp / "missing/x.mcr"));
    card.items = {{"A", std::vector<uint8_t>(10 * kBlock)}, {"B", std::vector<uint8_t>(6 * kBlock)}};
    EXPECT_FALSE(card.Save(temp / "full.mcr"));
    EXPECT_TRUE(Logged("PS1SaveFileMcr::Save() : 必要ブロック数が多すぎます"));
    EXPECT_FALSE(std::filesystem::exists(temp / "full.mcr"));
}

TEST_F(PS1SaveFileMcrTest, BrokenChainsEndAndDeletedSavesStayDeleted)
{
    const std::string full(21, 'N');
    ASSERT_TRUE(card.LoadImage(Card({{0x51, 3 * kBlock, 1, "LOOP"},  // 0 -> 1 -> 0
                                     {0x52, 0, 0, ""},
                                     {0x51, 2 * kBlock, 20, "FAR"},  // 2 -> past the card
                                     {0x53, 0, -1, ""},              // a later block before its first one
                                     {0x51, 2 * kBlock, 3, "BACK"},  // 4 -> 3
                                     {0xA1, 2 * kBlock, 6, "GONE"},  // deleted, with its last block
                                     {0xA3, 0, -1, "GONE"},
                                     {0x51, kBlock, -1, full},
                                     {0x51, kBlock, -1, "../up"},
                                     {0x51, 2 * kBlock, 0, "STOLEN"}}),  // 9 -> block 0, already taken
                               "hostile.mcr"));
    EXPECT_EQ(Saves(card), (SaveList{{"LOOP", 2}, {"FAR", 1}, {"BACK", 2}, {full, 1}, {"STOLEN", 1}}));
    EXPECT_TRUE(Logged("エラー : 不正なファイル名をスキップしました PS1SaveFileMcr::Load() hostile.mcr : ../up"));
    EXPECT_EQ(std::pair(card.items[4].data[0], card.items[4].data[kBlock]), std::pair(uint8_t{5}, uint8_t{4}));  // BACK: 4, 3

    // Such names are refused on writing too; a name too long for a frame is cut, never inside a character.
    card.items = {{"..", std::vector<uint8_t>(kBlock)}, {std::string(19, 'x') + "\x83\x5C", MakePS1Save("T")}};
    std::filesystem::create_directory(temp / "out");
    EXPECT_FALSE(card.SaveRaw(temp / "out"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp / "out"), {}), 1);
    ASSERT_TRUE(card.Save(temp / "cut.mcr"));
    EXPECT_EQ(FrameAt(ReadBytes(temp / "cut.mcr"), 1).name, std::string(19, 'x'));
    EXPECT_TRUE(Logged("警告 : 名前が長すぎるため切り詰めました PS1SaveFileMcr::Save() : "));
}

TEST_F(PS1SaveFileMcrTest, HeadersOfOtherToolsAreSkipped)
{
    const auto image = Card({{0x51, kBlock, -1, "SAVE"}});
    // DexDrive (.gme), VGS, and any other header: the image then ends the file.
    const std::pair<const char*, size_t> headers[] = {{"123-456-STD", 3904}, {"VgsM", 64}, {"", 200}};
    for (const auto& [mark, size] : headers) {
        std::string header(mark);
        header.resize(size, '\x33');
        std::vector<uint8_t> file(header.begin(), header.end());
        file.insert(file.end(), image.begin(), image.end());
        ASSERT_TRUE(card.LoadImage(file, "card"));
        EXPECT_EQ(Saves(card), (SaveList{{"SAVE", 1}})) << mark;
        EXPECT_EQ(card.items.at(0).data, std::vector<uint8_t>(kBlock, 1));
        card.items.clear();
    }
}

TEST_F(PS1SaveFileMcrTest, RealCardImagesGiveTheirLiveSaves)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no sample files";
    }
    const std::pair<std::string, SaveList> cards[] = {
        {"castlevania-symphony-of-the-night.1368.gme", {{"BASLUS-00067DRAX01", 1}}},
        {"go-psx-memcard_epsxe000.mcr",
         {{"BESCESP02066AC3PAL", 1}, {"BASLUS-00707SILENT00", 1}, {"BASLUS-00594G003s@GA", 1}, {"BASLUS-00594G001u@DA", 1},
          {"BASLUS-00974YVES  0", 1}, {"BASLUS-00001AIRCOMB", 1}, {"BASLUS-01066C`DAG01", 1}}},
        {"gran-turismo.26537.gme", {{"BASCUS-94194GT", 5}, {"BASCUS-94194RT", 3}}},
        {"picomemcard_empty_MEMCARD.MCR", {}},
        {"picomemcard_sample_MEMCARD.MCR",
         {{"BESLESP02083052002", 1}, {"BESLESP02083052001", 1}, {"BESLESP02083052000", 1}, {"BESLESP02083052003", 1},
          {"BESCES-02030SYS", 1}}},
        {"ps1test.vgs", {{"BASLUS-0125100000-00", 1}, {"BASLUS-01360FF4", 2}, {"BESCES-01923Buddies", 1}}},
        {"ps2vmc-tool_epsxe000.mcr", {{"BASLUS-0125100000-00", 1}}},
        {"street-fighter-ex2-plus.17782.mcr", {{"BASLUS-01105SYSTEM", 1}}},
        {"tony-hawks-pro-skater-4.24197.gme", {{"BASLUS-01485PNMOG01", 1}}},
    };
    for (const auto& [file, saves] : cards) {
        PS1SaveFileMcr loaded;
        ASSERT_TRUE(loaded.Load(samples + "ps1/" + file)) << file;
        EXPECT_EQ(Saves(loaded), saves) << file;
    }

    // Saves over several blocks, a fragmented one among them, come out whole: {image, save, raw file}.
    const std::string raws[][3] = {
        {"gran-turismo.26537.gme", "BASCUS-94194GT", "BASCUS-94194GT.gran-turismo.26537.raw"},
        {"gran-turismo.26537.gme", "BASCUS-94194RT", "BASCUS-94194RT.gran-turismo.26537.raw"},
        {"tony-hawks-pro-skater-4.24197.gme", "BASLUS-01485PNMOG01", "BASLUS-01485PNMOG01.thps4.24197.raw"},
    };
    for (const auto& [file, name, raw] : raws) {
        ASSERT_TRUE(card.Load(samples + "ps1/" + file));
        // The last item of a save holds all its blocks.
        const auto whole = std::ranges::find(card.items.rbegin(), card.items.rend(), name, &PS1SaveFileMcr::Item::name);
        ASSERT_NE(whole, card.items.rend()) << name;
        EXPECT_TRUE(whole->data == ReadBytes(samples + "ps1/raw/" + raw)) << name;
    }
}

}  // namespace
