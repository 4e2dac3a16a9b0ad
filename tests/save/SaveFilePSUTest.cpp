#include "save/SaveFilePSU.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "save/PS1SaveFileMcr.h"
#include "save/SaveFileFolder.h"
#include "save/SaveFileNPO.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// A time as the card stores it: local time, in one zone for every case whatever the machine's.
struct CardTime { uint8_t unused = 0, second = 0, minute = 0, hour = 12, day = 4, month = 8; uint16_t year = 2012; };
[[maybe_unused]] const bool kFixedZone = (setenv("TZ", "JST-9", 1), tzset(), true);

// JST keeps no summer time.
int64_t Local(const CardTime& t)
{
    const std::chrono::sys_days day = std::chrono::year(t.year) / t.month / t.day;
    return int64_t{day.time_since_epoch().count()} * 86400 + t.hour * 3600 + t.minute * 60 + t.second - 9 * 3600;
}

// A .psu put together byte by byte, independently of the writer (little-endian host).
struct PsuBytes {
    PsuBytes& Entry(uint16_t mode, uint32_t count, const std::string& name, CardTime t = {})
    {
        const size_t at = bytes.size();
        bytes.resize(at + 512, 0);
        std::memcpy(&bytes[at], &mode, 2);
        std::memcpy(&bytes[at + 4], &count, 4);
        std::memcpy(&bytes[at + 8], &t, 8);  // created
        std::memcpy(&bytes[at + 24], &t, 8);  // modified
        std::memcpy(&bytes[at + 64], name.data(), name.size());
        return *this;
    }
    PsuBytes& File(const std::string& name, const std::string& data, CardTime t = {})
    {
        Entry(0x8497, static_cast<uint32_t>(data.size()), name, t);
        bytes.insert(bytes.end(), data.begin(), data.end());
        bytes.resize(bytes.size() + (1024 - data.size() % 1024) % 1024, 0);
        return *this;
    }
    PsuBytes& Head(int32_t count) { return Entry(0x8427, uint32_t(count), "SAVE").Entry(0x8427, 0, ".").Entry(0x8427, 0, ".."); }
    std::vector<uint8_t> bytes;
};

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

std::shared_ptr<SaveFileBase::FILE_DATA> Record(const std::string& name, const std::string& data)
{
    return std::make_shared<SaveFileBase::FILE_DATA>(SaveFileBase::FILE_DATA{
        .name = name, .data = {data.begin(), data.end()}, .creationTime = Local({}), .lastWriteTime = Local({.second = 1})});
}

Names Contents(const SaveFileBase::FileList& files)
{
    Names contents(files.size());
    std::ranges::transform(files, contents.begin(), [](const auto& file) { return file->name + "=" + Text(file->data); });
    return contents;
}

class SaveFilePSUTest : public ::testing::Test {
protected:
    SaveFileBase::FileList Parse(const std::vector<uint8_t>& bytes)
    {
        SaveFilePSU loaded;
        EXPECT_TRUE(loaded.LoadBytes(bytes, "test.psu"));
        return loaded.saves["SAVE"];
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    const std::string out = (fs::create_directory(temp / "out"), temp / "out");
};

}  // namespace

TEST_F(SaveFilePSUTest, Writing)
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
    // A second export of the same title keeps the first file and takes the next free number.
    ASSERT_TRUE(psu.Save(out));
    EXPECT_EQ(psu.written, std::vector<std::string>{out + "/破損ファイル.000.psu"});
    EXPECT_EQ(ReadBytes(out + "/破損ファイル.psu"), bytes);
    EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 2);  // no temporary left

    psu.saves["SAVE"] = {Record("E", ""), Record("F", "xyz")};  // an empty file takes no data area
    ASSERT_TRUE(psu.Save(out));
    EXPECT_EQ(ReadBytes(out + "/破損ファイル.001.psu").size(), 512u * 5 + 1024);

    // The title in full width with its spaces collapsed; a save with names unfit for the card is not written.
    const auto iconSys = Record("icon.sys", Text(MakeIconSys("  ../A b?   c ")));
    for (const auto& unfit : {Record("../x", ""), Record(std::string(448, 'n'), "")}) {
        psu.saves = {{"SAVE", {iconSys, unfit}}, {"../up", {Record("OK", "ok")}}};
        EXPECT_FALSE(psu.Save(out));
        EXPECT_TRUE(psu.written.empty());
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(temp.path()), {}), 2);  // out and log.txt
    EXPECT_EQ(std::distance(fs::directory_iterator(out), {}), 3);
    psu.saves = {{"SAVE", {iconSys}}};
    ASSERT_TRUE(psu.Save(out));
    ASSERT_TRUE(psu.Load(out + "/．．／Ａ　ｂ？　ｃ.psu"));
    EXPECT_EQ(psu.saves.at("SAVE").size(), 1u);  // icon.sys
    EXPECT_FALSE(SaveFilePSU().Save(out));  // nothing to write
    EXPECT_EQ(SaveFilePSU::TargetName({Record("icon.sys", Text(MakeIconSys("\x81\x40\x81\x40")))}), "破損ファイル.psu");
    EXPECT_EQ(SaveFilePSU::TargetName({Record("icon.sys", Text(MakeIconSys("TITLE")).substr(0, 256))}), "破損ファイル.psu");
}

TEST_F(SaveFilePSUTest, Reading)
{
    auto ordered = PsuBytes().Head(5).File("five", "5", {.second = 5}).File("three", "3", {.second = 3});  // seconds alone order
    EXPECT_EQ(Contents(Parse(ordered.File("four", "4", {.second = 4, .minute = 1}).bytes)), (Names{"three=3", "four=4", "five=5"}));
    const auto zero = Parse(PsuBytes().Head(3).File("A", "a", {.day = 0, .month = 0, .year = 0}).bytes).at(0);  // 2000-01-01
    EXPECT_EQ(std::tuple(zero->creationTime, zero->lastAccessTime),
              std::tuple(Local({.day = 1, .month = 1, .year = 2000}), zero->lastWriteTime));
    for (const CardTime time : {CardTime{.month = 13}, {.year = 1899}, {.day = 30, .month = 2}}) {
        EXPECT_THROW(SaveFilePSU().LoadBytes(PsuBytes().Head(3).File("A", "a", time).bytes, "bad.psu"), SaveFileError);
    }
    auto older = PsuBytes().Head(5).File("E", "").File("F", "xyz").File("G", "").bytes;  // older writers: zero blocks after E
    older.insert(older.begin() + 2048, 1024, 0);
    EXPECT_EQ(Contents(Parse(older)), (Names{"E=", "F=xyz", "G="}));

    EXPECT_TRUE(Parse(PsuBytes().Head(2).File("A", "a").bytes).empty() && Parse(PsuBytes().Head(-1).File("A", "a").bytes).empty());
    // The last file's padding may be missing: its bytes are all there.
    auto unpadded = PsuBytes().Head(3).File("A", "abc").bytes;
    unpadded.resize(512 * 4 + 3);
    EXPECT_EQ(Contents(Parse(unpadded)), Names{"A=abc"});
    EXPECT_EQ(Contents(Parse(PsuBytes().Head(4).File("../x", "evil").File("OK", "ok").bytes)), Names{"OK=ok"});
    EXPECT_NE(ReadText(temp / "log.txt").find("エラー : 不正なファイル名をスキップしました SaveFilePSU::Load() test.psu : ../x"),
              std::string::npos);
}

// A file cut short (an interrupted download or copy) loads nothing and says
// so: missing bytes are never made up and a missing file is never passed over.
TEST_F(SaveFilePSUTest, CutFilesFailTheLoad)
{
    const auto whole = PsuBytes().Head(4).File("A", std::string(3000, 'a')).File("B", "b").bytes;
    const auto cut = [&whole](size_t length) { return std::vector<uint8_t>(whole.begin(), whole.begin() + length); };
    const std::string ended = "エラー : ファイルが途中で終わっています SaveFilePSU::Load() test.psu";
    const std::string pastEnd = "エラー : ファイルの長さがファイルの終わりを越えています SaveFilePSU::Load() test.psu : ";
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {
        {{}, ended},
        {cut(511), ended},                       // inside the save's own entry
        {cut(512 * 4 + 100), pastEnd + "A"},     // inside A's bytes
        {cut(512 * 4 + 3072), ended},            // B's entry gone: a file missing
        {PsuBytes().Head(INT32_MAX).File("A", "a").File("B", "b").bytes, ended},  // fewer entries than counted
        {PsuBytes().Head(5).File("A", "a").Entry(0x8497, 0xFFFFFFFF, "HUGE").File("B", "b").bytes, pastEnd + "HUGE"},
        {PsuBytes().Head(4).Entry(0x8497, 5000, "../x").File("OK", "ok").bytes, pastEnd + "../x"},
    };
    for (const auto& [bytes, line] : cases) {
        SaveFilePSU psu;
        EXPECT_FALSE(psu.LoadBytes(bytes, "test.psu")) << bytes.size();
        EXPECT_TRUE(psu.saves.empty()) << bytes.size();
        EXPECT_NE(ReadText(temp / "log.txt").find(line), std::string::npos) << line;
    }
    SaveFilePSU psu;
    EXPECT_TRUE(psu.LoadBytes(whole, "test.psu"));
}

// No file larger than any card can hold a save: such a file is refused with
// its line in the log before a byte of it is read. The files are sparse: no
// disk space is used.
TEST_F(SaveFilePSUTest, FilesLargerThanAnyCardAreRefusedUnread)
{
    const std::vector<uint8_t> ps1Head = MakePS1Save("T");
    const std::tuple<std::string, std::vector<uint8_t>, uint64_t, std::function<bool(const std::string&)>, std::string> cases[] = {
        {"huge.psu", PsuBytes().Head(3).File("A", "a").bytes, SaveFileBase::kLargestSave + 1,
         [](const std::string& path) { return SaveFilePSU().Load(path); }, "SaveFilePSU::Load() "},
        {"huge.npo", {'n', 'P', 'o', 'r', 't'}, SaveFileBase::kLargestSave + 1,
         [](const std::string& path) { return SaveFileNPO().Load(path); }, "SaveFileNPO::Load() "},
        {"HUGE-PS1", ps1Head, uint64_t{1} << 30, [](const std::string& path) { return PS1SaveFileMcr().LoadRaw(path); },
         "PS1SaveFileMcr::LoadRaw() : "},
    };
    for (const auto& [name, head, length, load, where] : cases) {
        const std::string path = temp / name;
        WriteBytes(path, head);
        fs::resize_file(path, length);
        EXPECT_FALSE(load(path)) << name;
        EXPECT_NE(ReadText(temp / "log.txt").find("エラー : ファイルが大きすぎるため読み込みませんでした " + where + path),
                  std::string::npos) << name;
    }
}

TEST_F(SaveFilePSUTest, RealSaves)
{
    if (SamplesDir().empty()) {
        GTEST_SKIP() << "no samples";
    }
    SaveFilePSU psu;
    ASSERT_TRUE(psu.Load(SamplesDir() + "containers/BISCAJ-20146-shadow-colossus.psu"));
    const std::string nico = SamplesDir() + "ps2-saves/BISCAJ-20146nico/";
    const auto file = [&nico](const std::string& name) { return name + "=" + ReadText(nico + name); };
    // Created at 20:31:53, 20:34:45 and 20:35:14: the seconds alone order them.
    EXPECT_EQ(Contents(psu.saves.at("BISCAJ-20146nico")), (Names{file("boy_blk.ico"), file("icon.sys"), file("BISCAJ-20146nico")}));

    // Every sample folder goes to a .psu and back to a folder with its bytes and order.
    for (const auto& sample : fs::directory_iterator(SamplesDir() + "ps2-saves")) {
        const std::string name = sample.path().filename().string(), work = temp / name;
        SaveFileFolder folder;
        ASSERT_TRUE(folder.Load(sample.path().string()) && fs::create_directories(work + "/folder"));
        const auto original = folder.saves.at(name);
        psu.saves = folder.saves;
        ASSERT_TRUE(psu.Save(work) && psu.Load(work + "/" + SaveFilePSU::TargetName(original))) << name;
        folder.saves = psu.saves;
        ASSERT_TRUE(folder.Save(work + "/folder") && folder.Load(work + "/folder/" + name)) << name;
        EXPECT_TRUE(Contents(folder.saves.at(name)) == Contents(original)) << name;
    }
}
