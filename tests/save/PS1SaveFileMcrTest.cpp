#include "save/PS1SaveFileMcr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
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
};

Frame FrameAt(const std::vector<uint8_t>& image, size_t index)
{
    const uint8_t* frame = image.data() + 0x80 + 128 * index;
    Frame read{frame[0], 0, 0, std::string(reinterpret_cast<const char*>(frame + 0x0A), ::strnlen(reinterpret_cast<const char*>(frame + 0x0A), 21))};
    std::memcpy(&read.size, frame + 4, 4);
    std::memcpy(&read.next, frame + 8, 2);
    return read;
}

bool ChecksumHolds(const std::vector<uint8_t>& image, size_t offset)
{
    uint8_t sum = 0;
    for (size_t i = 0; i < 127; ++i) {
        sum ^= image[offset + i];
    }
    return sum == image[offset + 127];
}

// A card image of the given frames (the rest free) and blocks filled with their index + 1.
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

// The whole saves of a loaded card: the last item of each chain, with its block count.
std::vector<std::pair<std::string, size_t>> Saves(const PS1SaveFileMcr& card)
{
    std::vector<std::pair<std::string, size_t>> saves;
    for (size_t i = 0; i < card.items.size(); ++i) {
        const auto& item = card.items[i];
        const bool continues = i > 0 && item.data.size() == card.items[i - 1].data.size() + kBlock &&
                               item.name == card.items[i - 1].name;
        if (continues) {
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
};

TEST_F(PS1SaveFileMcrTest, ExportLayoutOfAThreeBlockSave)
{
    PS1SaveFileMcr card;
    card.items.push_back({"BASLUS-00067DRAX00", MakePS1Save("T", 3)});
    card.items[0].data[kBlock * 2 + 5] = 0xEE;
    ASSERT_TRUE(card.Save(temp / "out.mcr"));
    const auto image = ReadBytes(temp / "out.mcr");
    ASSERT_EQ(image.size(), kImage);
    EXPECT_EQ(image[0], 'M');
    EXPECT_EQ(image[1], 'C');
    for (size_t offset = 0; offset < 0x800; offset += 128) {
        EXPECT_TRUE(ChecksumHolds(image, offset)) << offset;
    }
    const std::vector<std::pair<uint8_t, int16_t>> expected = {{0x51, 1}, {0x52, 2}, {0x53, -1}};
    for (size_t i = 0; i < 15; ++i) {
        const Frame frame = FrameAt(image, i);
        if (i < 3) {
            EXPECT_EQ(frame.state, expected[i].first);
            EXPECT_EQ(frame.next, expected[i].second);
            EXPECT_EQ(frame.size, 3 * kBlock);
            EXPECT_EQ(frame.name, "BASLUS-00067DRAX00");
        } else {
            EXPECT_EQ(frame.state, 0xA0);
            EXPECT_EQ(frame.size, 0u);
        }
    }
    EXPECT_EQ(image[0x2000 + kBlock * 2 + 5], 0xEE);
    EXPECT_TRUE(std::all_of(image.begin() + 0x800, image.begin() + 0x2000, [](uint8_t b) { return b == 0; }));
}

TEST_F(PS1SaveFileMcrTest, RawToImageToRawKeepsEverySave)
{
    // A single-block save followed by another comes back as two separate saves.
    const auto first = MakePS1Save("A", 1);
    auto second = MakePS1Save("B", 2, 0x12);
    second.back() = 0x42;
    WriteBytes(temp / "in/BESCES-01923Buddies", first);
    WriteBytes(temp / "in/BASLUS-01360FF4", second);
    PS1SaveFileMcr card;
    ASSERT_TRUE(card.LoadRaw(temp / "in/BESCES-01923Buddies"));
    ASSERT_TRUE(card.LoadRaw(temp / "in/BASLUS-01360FF4"));
    ASSERT_TRUE(card.Save(temp / "card.mcr"));

    PS1SaveFileMcr back;
    ASSERT_TRUE(back.Load(temp / "card.mcr"));
    EXPECT_EQ(Saves(back), (std::vector<std::pair<std::string, size_t>>{{"BESCES-01923Buddies", 1}, {"BASLUS-01360FF4", 2}}));
    std::filesystem::create_directory(temp / "out");
    ASSERT_TRUE(back.SaveRaw(temp / "out"));
    EXPECT_EQ(ReadBytes(temp / "out/BESCES-01923Buddies"), first);
    EXPECT_EQ(ReadBytes(temp / "out/BASLUS-01360FF4"), second);
}

TEST_F(PS1SaveFileMcrTest, FailuresLeaveNoFileAndLogTheirLine)
{
    PS1SaveFileMcr card;
    card.items = {{"A", std::vector<uint8_t>(10 * kBlock)}, {"B", std::vector<uint8_t>(6 * kBlock)}};
    EXPECT_FALSE(card.Save(temp / "full.mcr"));
    EXPECT_TRUE(Logged("PS1SaveFileMcr::Save() : 必要ブロック数が多すぎます"));
    EXPECT_FALSE(std::filesystem::exists(temp / "full.mcr"));

    card.items = {{"A", std::vector<uint8_t>(kBlock)}};
    EXPECT_FALSE(card.Save(temp / "missing/x.mcr"));
    EXPECT_TRUE(Logged("PS1SaveFileMcr::Save() : ファイルを開けませんでした : " + temp / "missing/x.mcr"));
    EXPECT_FALSE(card.SaveRaw(temp / "missing"));
    EXPECT_TRUE(Logged("PS1SaveFileMcr::SaveRaw() : ファイルを開けませんでした : " + temp / "missing/A"));

    auto shortSave = MakePS1Save("T");
    shortSave.resize(8000);
    WriteBytes(temp / "short", shortSave);
    EXPECT_FALSE(card.LoadRaw(temp / "short"));
    EXPECT_TRUE(Logged("PS1SaveFileMcr::LoadRaw() : PS1セーブデータでない可能性があります : " + temp / "short"));
    EXPECT_FALSE(card.LoadRaw(temp / "none"));
    EXPECT_FALSE(card.Load(temp / "none"));
    EXPECT_TRUE(Logged("PS1SaveFileMcr::Load() : ファイルを開けませんでした : " + temp / "none"));
    EXPECT_EQ(card.items.size(), 1u);
}

TEST_F(PS1SaveFileMcrTest, BrokenChainsEndAndDeletedSavesStayDeleted)
{
    const std::string full(21, 'N');
    PS1SaveFileMcr card;
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
    EXPECT_EQ(Saves(card), (std::vector<std::pair<std::string, size_t>>{
                               {"LOOP", 2}, {"FAR", 1}, {"BACK", 2}, {full, 1}, {"STOLEN", 1}}));
    EXPECT_TRUE(Logged("エラー : 不正なファイル名をスキップしました PS1SaveFileMcr::Load() hostile.mcr : ../up"));
    // BACK holds block 4, then block 3.
    EXPECT_EQ(card.items[4].data[0], 5);
    EXPECT_EQ(card.items[4].data[kBlock], 4);

    // Names that cannot be files are refused on writing too; names too long for a frame are cut.
    card.items = {{"..", std::vector<uint8_t>(kBlock)}, {"OK", std::vector<uint8_t>(kBlock)}};
    std::filesystem::create_directory(temp / "out");
    EXPECT_FALSE(card.SaveRaw(temp / "out"));
    EXPECT_TRUE(Logged("エラー : 不正なファイル名をスキップしました PS1SaveFileMcr::SaveRaw() " + temp / "out" + " : .."));
    EXPECT_TRUE(std::filesystem::exists(temp / "out/OK"));

    card.items = {{std::string(19, 'x') + "\x83\x5C", MakePS1Save("T")}};
    ASSERT_TRUE(card.Save(temp / "cut.mcr"));
    EXPECT_EQ(FrameAt(ReadBytes(temp / "cut.mcr"), 0).name, std::string(19, 'x'));
    EXPECT_TRUE(Logged("警告 : 名前が長すぎるため切り詰めました PS1SaveFileMcr::Save() : "));
}

TEST_F(PS1SaveFileMcrTest, HeadersOfOtherToolsAreSkipped)
{
    const auto image = Card({{0x51, kBlock, -1, "SAVE"}});
    std::vector<uint8_t> other(200, 0x33);  // an unknown header: the image ends the file
    other.insert(other.end(), image.begin(), image.end());
    std::vector<uint8_t> vgs = {'V', 'g', 's', 'M'};
    vgs.resize(64);
    vgs.insert(vgs.end(), image.begin(), image.end());
    for (const auto& file : {other, vgs}) {
        PS1SaveFileMcr card;
        ASSERT_TRUE(card.LoadImage(file, "card"));
        ASSERT_EQ(card.items.size(), 1u);
        EXPECT_EQ(card.items[0].name, "SAVE");
        EXPECT_EQ(card.items[0].data, std::vector<uint8_t>(kBlock, 1));
    }
}

TEST_F(PS1SaveFileMcrTest, RealCardImagesGiveTheirLiveSaves)
{
    const std::string samples = SamplesDir();
    if (samples.empty()) {
        GTEST_SKIP() << "no sample files";
    }
    using Saves_ = std::vector<std::pair<std::string, size_t>>;
    const std::vector<std::pair<std::string, Saves_>> cards = {
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
        PS1SaveFileMcr card;
        ASSERT_TRUE(card.Load(samples + "ps1/" + file)) << file;
        EXPECT_EQ(Saves(card), saves) << file;
    }

    // Multi-block saves, a fragmented one among them, come out whole.
    const std::vector<std::pair<std::string, std::vector<std::pair<std::string, std::string>>>> raws = {
        {"gran-turismo.26537.gme",
         {{"BASCUS-94194GT", "BASCUS-94194GT.gran-turismo.26537.raw"},
          {"BASCUS-94194RT", "BASCUS-94194RT.gran-turismo.26537.raw"}}},
        {"tony-hawks-pro-skater-4.24197.gme", {{"BASLUS-01485PNMOG01", "BASLUS-01485PNMOG01.thps4.24197.raw"}}},
    };
    for (const auto& [file, expected] : raws) {
        PS1SaveFileMcr card;
        ASSERT_TRUE(card.Load(samples + "ps1/" + file));
        const std::string out = temp / file;
        std::filesystem::create_directory(out);
        ASSERT_TRUE(card.SaveRaw(out));
        for (const auto& [name, raw] : expected) {
            const auto written = ReadBytes(out + "/" + name);
            EXPECT_FALSE(written.empty()) << name;
            EXPECT_TRUE(written == ReadBytes(samples + "ps1/raw/" + raw)) << name;
        }
    }
}

}  // namespace
