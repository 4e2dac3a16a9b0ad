#include "save/SaveFilePSU.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "save/SaveFileFolder.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

struct CardTime {
    int second = 0, minute = 0, hour = 12, day = 4, month = 8, year = 2012;
};

int64_t Local(const CardTime& t)
{
    std::tm local{};
    std::tie(local.tm_sec, local.tm_min, local.tm_hour, local.tm_mday, local.tm_mon, local.tm_year) =
        std::tuple(t.second, t.minute, t.hour, t.day, t.month - 1, t.year - 1900);
    local.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&local));
}

template <typename T>
void Put(std::vector<uint8_t>& bytes, size_t at, T value) { std::memcpy(bytes.data() + at, &value, sizeof value); }

// A .psu put together byte by byte, independently of the writer (little-endian host).
struct PsuBytes {
    PsuBytes& Entry(uint16_t mode, uint32_t count, const std::string& name, CardTime t = {})
    {
        const size_t at = bytes.size();
        bytes.resize(at + 512, 0);
        Put(bytes, at, mode);
        Put(bytes, at + 4, count);
        for (size_t stamp : {at + 8, at + 24}) {  // created, modified
            const uint8_t fields[] = {0, uint8_t(t.second), uint8_t(t.minute), uint8_t(t.hour), uint8_t(t.day), uint8_t(t.month)};
            std::memcpy(bytes.data() + stamp, fields, sizeof fields);
            Put(bytes, stamp + 6, uint16_t(t.year));
        }
        std::memcpy(bytes.data() + at + 64, name.data(), name.size());
        return *this;
    }
    PsuBytes& File(const std::string& name, const std::string& data, CardTime t = {})
    {
        Entry(0x8497, static_cast<uint32_t>(data.size()), name, t);
        bytes.insert(bytes.end(), data.begin(), data.end());
        bytes.resize(bytes.size() + (1024 - data.size() % 1024) % 1024, 0);
        return *this;
    }
    PsuBytes& Head(int32_t count, const std::string& name = "SAVE")
    {
        return Entry(0x8427, static_cast<uint32_t>(count), name).Entry(0x8427, 0, ".").Entry(0x8427, 0, "..");
    }
    std::vector<uint8_t> bytes;
};

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::shared_ptr<SaveFileBase::FILE_DATA> Record(const std::string& name, const std::string& data)
{
    return std::make_shared<SaveFileBase::FILE_DATA>(SaveFileBase::FILE_DATA{
        .name = name, .data = {data.begin(), data.end()}, .creationTime = Local({}), .lastWriteTime = Local({.second = 1})});
}

std::vector<std::string> Names(const SaveFileBase::FileList& files)
{
    std::vector<std::string> names(files.size());
    std::ranges::transform(files, names.begin(), [](const auto& file) { return file->name; });
    return names;
}

// The card keeps local times: one zone for every case, whatever the machine's.
[[maybe_unused]] const bool kFixedZone = (setenv("TZ", "JST-9", 1), tzset(), true);

class SaveFilePSUTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(out); }
    bool Logged(const std::string& text) const { return ReadText(temp / "log.txt").find(text) != std::string::npos; }
    SaveFileBase::FileList Parse(const std::vector<uint8_t>& bytes)
    {
        SaveFilePSU loaded;
        EXPECT_TRUE(loaded.LoadBytes(bytes, "test.psu"));
        return loaded.saves["SAVE"];
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    std::string out = temp / "out";
};

}  // namespace

TEST_F(SaveFilePSUTest, LayoutOfTwoFilesAndTheBackupOnASecondExport)
{
    SaveFilePSU psu;
    psu.saves["SAVE"] = {Record("A", "abcde"), Record("B", std::string(1024, 'B'))};
    ASSERT_TRUE(psu.Save(out));
    const auto bytes = ReadBytes(out + "/破損ファイル.psu");
    auto expected = PsuBytes().Head(4).File("A", "abcde").File("B", std::string(1024, 'B')).bytes;
    expected[1536 + 25] = expected[3072 + 25] = 1;  // each file last written a second after its creation
    ASSERT_EQ(bytes.size(), 4608u);
    for (ptrdiff_t at : {0, 512, 1024}) {  // the save's own times are those of the new file
        std::copy_n(bytes.begin() + at + 8, 24, expected.begin() + at + 8);
    }
    EXPECT_EQ(bytes, expected);

    ASSERT_TRUE(psu.Save(out));
    EXPECT_EQ(ReadBytes(out + "/破損ファイル.psu.000"), bytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);  // no temporary left
}

TEST_F(SaveFilePSUTest, EmptyFileTakesNoDataAreaAndBothFormsRead)
{
    SaveFilePSU psu;
    psu.saves["SAVE"] = {Record("E", ""), Record("F", "xyz")};
    ASSERT_TRUE(psu.Save(out));
    const auto written = ReadBytes(out + "/破損ファイル.psu");
    EXPECT_EQ(written.size(), 512u * 5 + 1024);

    // Older writers: a zero block after the empty file, also at the very end.
    auto older = PsuBytes().Head(5).File("E", "").File("F", "xyz").File("G", "").bytes;
    older.insert(older.begin() + 2048, 1024, 0);
    older.resize(older.size() + 1024, 0);
    for (const auto& [bytes, names] : {std::pair(written, std::vector<std::string>{"E", "F"}),
                                       std::pair(older, std::vector<std::string>{"E", "F", "G"})}) {
        const auto files = Parse(bytes);
        ASSERT_EQ(Names(files), names);
        EXPECT_TRUE(files[0]->data.empty());
        EXPECT_EQ(Text(files[1]->data), "xyz");
    }
}

TEST_F(SaveFilePSUTest, FileNameFromTheTitle)
{
    const std::pair<std::string, std::string> cases[] = {  // Shift-JIS title, file name
        {"\x82\x60\x82\x61\x82\x62\x81\x40\x81\x40\x82\x63\x82\x64\x82\x65\x81\x40", "ＡＢＣ　ＤＥＦ.psu"},
        {"A/B?", "Ａ／Ｂ？.psu"},
        {"  ab   c ", "ａｂ　ｃ.psu"},
        {"\xB6\xDE\xD2", "ガメ.psu"},  // ｶﾞﾒ
        {"\x81\x40\x81\x40", "破損ファイル.psu"},
        {"", "破損ファイル.psu"},
    };
    for (const auto& [title, name] : cases) {
        EXPECT_EQ(SaveFilePSU::TargetName({Record("DATA", ""), Record("icon.sys", Text(MakeIconSys(title)))}), name);
    }
    EXPECT_EQ(SaveFilePSU::TargetName({Record("icon.sys", Text(MakeIconSys("TITLE")).substr(0, 256))}), "破損ファイル.psu");
    EXPECT_EQ(SaveFilePSU::TargetName({Record("ICON.SYS", Text(MakeIconSys("TITLE")))}), "破損ファイル.psu");
}

TEST_F(SaveFilePSUTest, EntryCountsTimesAndOrder)
{
    for (int32_t count : {2, 0, -1}) {
        EXPECT_TRUE(Parse(PsuBytes().Head(count).File("A", "a").bytes).empty()) << count;
    }
    // Only the seconds of the creation times order the files.
    auto ordered = PsuBytes().Head(5).File("five", "5", {.second = 5}).File("three", "3", {.second = 3});
    EXPECT_EQ(Names(Parse(ordered.File("four", "4", {.second = 4, .minute = 1}).bytes)),
              (std::vector<std::string>{"three", "four", "five"}));

    const std::pair<CardTime, CardTime> zeros[] = {
        {{.year = 0}, {.year = 2000}}, {{.day = 0}, {.day = 1}}, {{.month = 0}, {.month = 1}}};
    for (const auto& [stored, meant] : zeros) {
        const auto file = Parse(PsuBytes().Head(3).File("A", "a", stored).bytes).at(0);
        EXPECT_EQ(std::tuple(file->creationTime, file->lastAccessTime, file->lastWriteTime),
                  std::tuple(Local(meant), Local(meant), Local(meant)));
    }
    for (const CardTime time : {CardTime{.hour = 24}, {.month = 13}, {.year = 1899}, {.day = 30, .month = 2}}) {
        EXPECT_THROW(SaveFilePSU().LoadBytes(PsuBytes().Head(3).File("A", "a", time).bytes, "bad.psu"), SaveFileError);
    }
}

TEST_F(SaveFilePSUTest, HostileFiles)
{
    // Cut short inside A's data: the rest of A reads as 0xFF.
    auto cut = PsuBytes().Head(4).File("A", std::string(3000, 'a')).File("B", "b").bytes;
    cut.resize(512 * 4 + 100);
    const auto files = Parse(cut);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(Text(files[0]->data), std::string(100, 'a') + std::string(2900, '\xFF'));

    EXPECT_EQ(Parse(PsuBytes().Head(INT32_MAX).File("A", "a").File("B", "b").bytes).size(), 2u);
    EXPECT_EQ(Parse(PsuBytes().Head(INT32_MAX).File("A", "a").Entry(0x8497, 0xFFFFFFFF, "HUGE").File("B", "b").bytes).size(), 1u);
    EXPECT_TRUE(Logged("SaveFilePSU::Load() test.psu : HUGE"));
    EXPECT_EQ(Names(Parse(PsuBytes().Head(5).File("../x", "evil").File("a/b", "").File("OK", "ok").bytes)),
              (std::vector<std::string>{"OK"}));
    EXPECT_TRUE(Logged("エラー : 不正なファイル名をスキップしました SaveFilePSU::Load() test.psu : ../x"));
    for (const std::string saveName : {"..", "../x", ""}) {
        SaveFilePSU loaded;
        EXPECT_FALSE(loaded.LoadBytes(PsuBytes().Head(3, saveName).File("OK", "ok").bytes, "test.psu"));
        EXPECT_TRUE(loaded.saves.empty());
    }

    // Such names reaching the writer put nothing outside its folder.
    SaveFilePSU psu;
    psu.saves = {{"SAVE", {Record("../x", "x"), Record(std::string(448, 'n'), "long"), Record("OK", "ok")}},
                 {"../up", {Record("OK", "ok")}}};
    ASSERT_TRUE(psu.Save(out));
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 2);  // out and log.txt
    ASSERT_TRUE(psu.Load(out + "/破損ファイル.psu"));
    EXPECT_EQ(Names(psu.saves.at("SAVE")), (std::vector<std::string>{"OK"}));
    EXPECT_TRUE(Logged("ファイル名が長すぎるためスキップしました SaveFilePSU::Save() "));
    EXPECT_FALSE(psu.Save(temp / "missing"));
    EXPECT_FALSE(SaveFilePSU().Save(out));  // nothing to write
}

TEST_F(SaveFilePSUTest, RealSaves)
{
    if (SamplesDir().empty()) {
        GTEST_SKIP() << "no samples";
    }
    SaveFilePSU psu;
    ASSERT_TRUE(psu.Load(SamplesDir() + "containers/BISCAJ-20146-shadow-colossus.psu"));
    const auto& files = psu.saves.at("BISCAJ-20146nico");
    // Created at 20:31:53, 20:34:45 and 20:35:14: the seconds alone order them.
    EXPECT_EQ(Names(files), (std::vector<std::string>{"boy_blk.ico", "icon.sys", "BISCAJ-20146nico"}));
    for (const auto& file : files) {
        EXPECT_EQ(file->data, ReadBytes(SamplesDir() + "ps2-saves/BISCAJ-20146nico/" + file->name)) << file->name;
    }
    EXPECT_EQ(files[2]->creationTime, Local({.second = 53, .minute = 31, .hour = 20}));
    EXPECT_EQ(files[2]->lastWriteTime, Local({.second = 23, .minute = 36, .hour = 5, .day = 24, .month = 3, .year = 2013}));
    EXPECT_EQ(SaveFilePSU::TargetName(files), "ＳＨＡＤＯＷＯＦ　ＴＨＥ　ＣＯＬＯＳＳＵＳ.psu");

    // Every sample folder goes to a .psu and back to a folder with its bytes and order.
    for (const auto& sample : fs::directory_iterator(SamplesDir() + "ps2-saves")) {
        const std::string name = sample.path().filename().string(), work = temp / name;
        SaveFileFolder original, folder;
        ASSERT_TRUE(original.Load(sample.path().string()));
        psu.saves = original.saves;
        fs::create_directories(work + "/folder");
        ASSERT_TRUE(psu.Save(work) && psu.Load(work + "/" + SaveFilePSU::TargetName(original.saves.at(name)))) << name;
        folder.saves = psu.saves;
        ASSERT_TRUE(folder.Save(work + "/folder") && folder.Load(work + "/folder/" + name)) << name;
        EXPECT_TRUE(std::ranges::equal(folder.saves.at(name), original.saves.at(name),
                                       [](const auto& a, const auto& b) { return a->name == b->name && a->data == b->data; }))
            << name;
    }
    EXPECT_TRUE(fs::is_directory(temp / "BISCAJ-20146nico/folder/BISCAJ-20146nico"));
}
