#include "save/SaveFilePSU.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
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
    local.tm_year = t.year - 1900;
    local.tm_mon = t.month - 1;
    local.tm_mday = t.day;
    local.tm_hour = t.hour;
    local.tm_min = t.minute;
    local.tm_sec = t.second;
    local.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&local));
}

// A .psu put together byte by byte, independently of the writer.
class PsuBytes {
public:
    PsuBytes& Entry(uint16_t mode, uint32_t count, const std::string& name, CardTime created = {}, CardTime modified = {})
    {
        const size_t at = bytes.size();
        bytes.resize(at + 512, 0);
        Put(at, mode, 2);
        Put(at + 4, count, 4);
        PutTime(at + 8, created);
        PutTime(at + 24, modified);
        std::memcpy(bytes.data() + at + 64, name.data(), name.size());
        return *this;
    }
    PsuBytes& File(const std::string& name, const std::string& data, CardTime created = {})
    {
        Entry(0x8497, static_cast<uint32_t>(data.size()), name, created, created);
        bytes.insert(bytes.end(), data.begin(), data.end());
        bytes.resize(bytes.size() + (1024 - data.size() % 1024) % 1024, 0);
        return *this;
    }
    PsuBytes& Head(int32_t count, const std::string& name = "SAVE")
    {
        return Entry(0x8427, static_cast<uint32_t>(count), name).Entry(0x8427, 0, ".").Entry(0x8427, 0, "..");
    }
    std::vector<uint8_t> bytes;

private:
    void Put(size_t at, uint32_t value, size_t width)
    {
        for (size_t i = 0; i < width; ++i) {
            bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
        }
    }
    void PutTime(size_t at, const CardTime& t)
    {
        for (int field : {0, t.second, t.minute, t.hour, t.day, t.month}) {
            Put(at++, static_cast<uint32_t>(field), 1);
        }
        Put(at, static_cast<uint32_t>(t.year), 2);
    }
};

std::shared_ptr<SaveFileBase::FILE_DATA> Record(const std::string& name, const std::vector<uint8_t>& data)
{
    auto file = std::make_shared<SaveFileBase::FILE_DATA>();
    file->name = name;
    file->data = data;
    file->creationTime = Local({});
    file->lastWriteTime = Local({.second = 1});
    return file;
}

std::shared_ptr<SaveFileBase::FILE_DATA> Record(const std::string& name, const std::string& data)
{
    return Record(name, std::vector<uint8_t>(data.begin(), data.end()));
}

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::vector<std::string> Names(const SaveFileBase::FileList& files)
{
    std::vector<std::string> names;
    for (const auto& file : files) {
        names.push_back(file->name);
    }
    return names;
}

uint32_t Word(const std::vector<uint8_t>& bytes, size_t at)
{
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | static_cast<uint32_t>(bytes[at + 3]) << 24;
}

class SaveFilePSUTest : public ::testing::Test {
protected:
    // The card keeps local times: one zone for every case, whatever the machine's.
    void SetUp() override
    {
        hadZone = std::getenv("TZ") != nullptr;
        savedZone = hadZone ? std::getenv("TZ") : "";
        setenv("TZ", "JST-9", 1);
        tzset();
        fs::create_directory(out);
    }
    void TearDown() override
    {
        hadZone ? setenv("TZ", savedZone.c_str(), 1) : unsetenv("TZ");
        tzset();
    }
    std::string LogText() const { return ReadText(temp / "log.txt"); }
    SaveFilePSU Parse(const PsuBytes& psu)
    {
        SaveFilePSU loaded;
        EXPECT_TRUE(loaded.LoadBytes(psu.bytes, "test.psu"));
        return loaded;
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    std::string out = temp / "out";
    std::string savedZone;
    bool hadZone = false;
};

}  // namespace

TEST_F(SaveFilePSUTest, LayoutOfTwoFilesAndTheBackupOnASecondExport)
{
    SaveFilePSU psu;
    psu.saves["SAVE"] = {Record("A", "abcde"), Record("B", std::vector<uint8_t>(1024, 0x42))};
    ASSERT_TRUE(psu.Save(out));
    const auto bytes = ReadBytes(out + "/破損ファイル.psu");
    ASSERT_EQ(bytes.size(), 4608u);
    const size_t entries[] = {0, 512, 1024, 1536, 3072};
    const char* names[] = {"SAVE", ".", "..", "A", "B"};
    const uint32_t counts[] = {4, 0, 0, 5, 1024};
    for (size_t i = 0; i < 5; ++i) {
        const size_t at = entries[i];
        EXPECT_EQ(bytes[at], i < 3 ? 0x27 : 0x97);
        EXPECT_EQ(bytes[at + 1], 0x84);
        EXPECT_EQ(Word(bytes, at + 4), counts[i]);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(bytes.data() + at + 64)), names[i]);
    }
    // A's times, in local time: 12:00:00 and 12:00:01 on 4 August 2012.
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 1536 + 8, bytes.begin() + 1536 + 16),
              (std::vector<uint8_t>{0, 0, 0, 12, 4, 8, 0xDC, 0x07}));
    EXPECT_EQ(bytes[1536 + 25], 1);
    EXPECT_EQ(Text({bytes.begin() + 2048, bytes.begin() + 2053}), "abcde");
    EXPECT_TRUE(std::all_of(bytes.begin() + 2053, bytes.begin() + 3072, [](uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::all_of(bytes.begin() + 3584, bytes.end(), [](uint8_t b) { return b == 0x42; }));

    ASSERT_TRUE(psu.Save(out));
    EXPECT_EQ(ReadBytes(out + "/破損ファイル.psu.000").size(), 4608u);
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
    PsuBytes older = PsuBytes().Head(5).File("E", "").File("F", "xyz").File("G", "");
    older.bytes.insert(older.bytes.begin() + 2048, 1024, 0);
    older.bytes.resize(older.bytes.size() + 1024, 0);
    for (const auto& [bytes, names] : {std::pair(written, std::vector<std::string>{"E", "F"}),
                                       std::pair(older.bytes, std::vector<std::string>{"E", "F", "G"})}) {
        const auto files = Parse(PsuBytes{bytes}).saves.at("SAVE");
        ASSERT_EQ(Names(files), names);
        EXPECT_TRUE(files[0]->data.empty());
        EXPECT_EQ(Text(files[1]->data), "xyz");
    }
}

TEST_F(SaveFilePSUTest, FileNameFromTheTitle)
{
    const struct {
        std::string title;  // Shift-JIS
        std::string name;
    } cases[] = {
        {"\x82\x60\x82\x61\x82\x62\x81\x40\x81\x40\x82\x63\x82\x64\x82\x65\x81\x40", "ＡＢＣ　ＤＥＦ.psu"},
        {"A/B?", "Ａ／Ｂ？.psu"},
        {"  ab   c ", "ａｂ　ｃ.psu"},
        {"\xB6\xDE\xD2", "ガメ.psu"},  // ｶﾞﾒ
        {"   ", "破損ファイル.psu"},
        {"\x81\x40\x81\x40", "破損ファイル.psu"},
        {"", "破損ファイル.psu"},
    };
    for (const auto& [title, name] : cases) {
        EXPECT_EQ(SaveFilePSU::TargetName({Record("DATA", ""), Record("icon.sys", MakeIconSys(title))}), name) << name;
    }
    auto shortIconSys = MakeIconSys("TITLE");
    shortIconSys.resize(256);
    EXPECT_EQ(SaveFilePSU::TargetName({Record("icon.sys", shortIconSys)}), "破損ファイル.psu");
    EXPECT_EQ(SaveFilePSU::TargetName({Record("ICON.SYS", MakeIconSys("TITLE"))}), "破損ファイル.psu");
}

TEST_F(SaveFilePSUTest, EntryCountsTimesAndOrder)
{
    for (int32_t count : {2, 0, -1}) {
        EXPECT_TRUE(Parse(PsuBytes().Head(count).File("A", "a")).saves.at("SAVE").empty()) << count;
    }
    // Only the seconds of the creation times order the files.
    const auto ordered = PsuBytes()
                             .Head(5)
                             .File("five", "5", {.second = 5, .hour = 10})
                             .File("three", "3", {.second = 3, .hour = 10})
                             .File("four", "4", {.second = 4, .minute = 1, .hour = 10});
    EXPECT_EQ(Names(Parse(ordered).saves.at("SAVE")), (std::vector<std::string>{"three", "four", "five"}));

    const struct {
        CardTime stored, meant;
    } readable[] = {
        {{.year = 0}, {.year = 2000}},
        {{.day = 0}, {.day = 1}},
        {{.month = 0}, {.month = 1}},
    };
    for (const auto& [stored, meant] : readable) {
        const auto file = Parse(PsuBytes().Head(3).File("A", "a", stored)).saves.at("SAVE").at(0);
        EXPECT_EQ(file->creationTime, Local(meant));
        EXPECT_EQ(file->lastAccessTime, Local(meant));
        EXPECT_EQ(file->lastWriteTime, Local(meant));
        EXPECT_EQ(file->attribute, 0);
    }
    const CardTime impossible[] = {{.hour = 24}, {.minute = 60}, {.second = 60}, {.month = 13},
                                   {.day = 32},  {.year = 1899}, {.day = 30, .month = 2}};
    for (const CardTime& time : impossible) {
        SaveFilePSU loaded;
        try {
            loaded.LoadBytes(PsuBytes().Head(3).File("A", "a", time).bytes, "bad.psu");
            ADD_FAILURE() << "no error for " << time.year << "-" << time.month << "-" << time.day;
        } catch (const SaveFileError& error) {
            EXPECT_EQ(error.error, std::errc::invalid_argument);
            EXPECT_EQ(error.path, "bad.psu");
        }
    }
}

TEST_F(SaveFilePSUTest, HostileFiles)
{
    // Cut short inside A's data: the rest of A reads as 0xFF.
    auto cut = PsuBytes().Head(4).File("A", std::string(3000, 'a')).File("B", "b").bytes;
    cut.resize(512 * 4 + 100);
    const auto files = Parse(PsuBytes{cut}).saves.at("SAVE");
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0]->data.size(), 3000u);
    EXPECT_EQ(files[0]->data[99], 'a');
    EXPECT_EQ(files[0]->data[100], 0xFF);

    EXPECT_EQ(Parse(PsuBytes().Head(INT32_MAX).File("A", "a").File("B", "b")).saves.at("SAVE").size(), 2u);
    EXPECT_EQ(Parse(PsuBytes().Head(INT32_MAX).File("A", "a").Entry(0x8497, 0xFFFFFFFF, "HUGE").File("B", "b"))
                  .saves.at("SAVE")
                  .size(),
              1u);
    EXPECT_NE(LogText().find("SaveFilePSU::Load() test.psu : HUGE"), std::string::npos);

    const auto named = PsuBytes().Head(5).File("../x", "evil").File("a/b", "").File("OK", "ok");
    EXPECT_EQ(Names(Parse(named).saves.at("SAVE")), (std::vector<std::string>{"OK"}));
    EXPECT_NE(LogText().find("エラー : 不正なファイル名をスキップしました SaveFilePSU::Load() test.psu : ../x"), std::string::npos);

    for (const std::string& saveName : {std::string(".."), std::string("../x"), std::string()}) {
        SaveFilePSU loaded;
        EXPECT_FALSE(loaded.LoadBytes(PsuBytes().Head(3, saveName).File("OK", "ok").bytes, "test.psu"));
        EXPECT_TRUE(loaded.saves.empty());
    }
    SaveFilePSU none;
    EXPECT_FALSE(none.LoadBytes({}, "empty.psu"));
    EXPECT_FALSE(none.Load(temp / "missing.psu"));
    EXPECT_FALSE(none.Load(temp.path()));

    // A save that still reaches a writer with such names writes nothing outside its folder.
    SaveFilePSU psu;
    psu.saves["SAVE"] = {Record("../x", "x"), Record(std::string(448, 'n'), "long"), Record("OK", "ok")};
    psu.saves["../up"] = {Record("OK", "ok")};
    ASSERT_TRUE(psu.Save(out));
    SaveFilePSU reread;
    ASSERT_TRUE(reread.Load(out + "/破損ファイル.psu"));
    EXPECT_EQ(Names(reread.saves.at("SAVE")), (std::vector<std::string>{"OK"}));
    EXPECT_NE(LogText().find("ファイル名が長すぎるためスキップしました SaveFilePSU::Save() "), std::string::npos);
    SaveFileFolder folder;
    folder.saves = Parse(named).saves;
    folder.saves["SAVE"].push_back(Record("../y", "y"));
    ASSERT_TRUE(folder.Save(out));
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), fs::directory_iterator()), 2);  // out and log.txt
    EXPECT_FALSE(SaveFilePSU().Save(out));
    EXPECT_FALSE(psu.Save(temp / "missing"));
}

TEST_F(SaveFilePSUTest, RealPsuMatchesItsFolder)
{
    if (SamplesDir().empty()) {
        GTEST_SKIP() << "no samples";
    }
    SaveFilePSU psu;
    ASSERT_TRUE(psu.Load(SamplesDir() + "containers/BISCAJ-20146-shadow-colossus.psu"));
    ASSERT_EQ(psu.saves.size(), 1u);
    const auto& files = psu.saves.at("BISCAJ-20146nico");
    // Created at 20:31:53, 20:34:45 and 20:35:14: the seconds alone order them.
    EXPECT_EQ(Names(files), (std::vector<std::string>{"boy_blk.ico", "icon.sys", "BISCAJ-20146nico"}));
    for (const auto& file : files) {
        EXPECT_EQ(file->data, ReadBytes(SamplesDir() + "ps2-saves/BISCAJ-20146nico/" + file->name)) << file->name;
    }
    EXPECT_EQ(files[2]->creationTime, Local({.second = 53, .minute = 31, .hour = 20, .day = 4, .month = 8, .year = 2012}));
    EXPECT_EQ(files[2]->lastWriteTime, Local({.second = 23, .minute = 36, .hour = 5, .day = 24, .month = 3, .year = 2013}));
    EXPECT_EQ(SaveFilePSU::TargetName(files), "ＳＨＡＤＯＷＯＦ　ＴＨＥ　ＣＯＬＯＳＳＵＳ.psu");
}

TEST_F(SaveFilePSUTest, EveryRealSaveFolderRoundTrips)
{
    if (SamplesDir().empty()) {
        GTEST_SKIP() << "no samples";
    }
    size_t folders = 0;
    for (const auto& sample : fs::directory_iterator(SamplesDir() + "ps2-saves")) {
        const std::string name = sample.path().filename().string();
        const std::string work = temp / name;
        fs::create_directories(work + "/psu");
        fs::create_directories(work + "/folder");
        SaveFileFolder original;
        ASSERT_TRUE(original.Load(sample.path().string()));
        SaveFilePSU psu;
        psu.saves = original.saves;
        ASSERT_TRUE(psu.Save(work + "/psu"));
        const std::string psuPath = work + "/psu/" + SaveFilePSU::TargetName(original.saves.at(name));
        EXPECT_EQ(ReadBytes(psuPath).size() % 512, 0u) << name;

        SaveFilePSU loaded;
        ASSERT_TRUE(loaded.Load(psuPath)) << name;
        SaveFileFolder folder;
        folder.saves = loaded.saves;
        ASSERT_TRUE(folder.Save(work + "/folder"));
        SaveFileFolder again;
        ASSERT_TRUE(again.Load(work + "/folder/" + name));

        const auto& before = original.saves.at(name);
        const auto& after = again.saves.at(name);
        EXPECT_EQ(Names(after), Names(before)) << name;
        for (size_t i = 0; i < std::min(before.size(), after.size()); ++i) {
            EXPECT_EQ(after[i]->data, before[i]->data) << name << "/" << before[i]->name;
        }
        ++folders;
    }
    EXPECT_GE(folders, 10u);
}
