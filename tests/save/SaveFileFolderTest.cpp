#include "save/SaveFileFolder.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "common/FileStatus.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// 10:00:00 UTC: every zone is whole minutes away, so the seconds are also local ones.
constexpr int64_t kTen = 1344074400;

std::shared_ptr<SaveFileBase::FILE_DATA> Record(const std::string& name, const std::string& data, int64_t created = 0)
{
    return std::make_shared<SaveFileBase::FILE_DATA>(SaveFileBase::FILE_DATA{
        .name = name, .data = {data.begin(), data.end()}, .creationTime = created,
        .lastWriteTime = created == 0 ? 0 : created + 100, .lastAccessTime = created == 0 ? 0 : created + 200});
}

std::vector<std::string> Names(const SaveFileBase::FileList& files)
{
    std::vector<std::string> names(files.size());
    std::ranges::transform(files, names.begin(), [](const auto& file) { return file->name; });
    return names;
}

class SaveFileFolderTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directory(target); }
    bool Logged(const std::string& text) const { return ReadText(temp / "log.txt").find(text) != std::string::npos; }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    std::string target = temp / "out";
    SaveFileFolder folder;
};

}  // namespace

TEST(SaveFileBase, FileOrderSortsStablyOnTheSecondsAlone)
{
    // 40 ties: past the sizes where unstable sorts change their method.
    SaveFileBase::FileList files;
    for (int i = 0; i < 40; ++i) {
        files.push_back(Record(std::to_string(i), "", kTen + 60 * i + 7));
    }
    std::vector<std::string> expected = Names(files);
    files.push_back(Record("first", "", kTen - 59));
    expected.insert(expected.begin(), "first");
    SaveFileBase::SortByFileOrder(files);
    EXPECT_EQ(Names(files), expected);
    EXPECT_EQ(SaveFileBase::FileOrderKey(std::numeric_limits<int64_t>::max()), -1);
}

TEST(SaveFileBase, SafeNames)
{
    // ソ and 表 end in 0x5C, which is no separator there.
    const std::pair<std::string, bool> names[] = {
        {"icon.sys", true}, {"...", true}, {"\x83", true}, {"\x83\x5C", true}, {"A\x95\x5C", true}, {"", false}, {".", false},
        {"..", false},      {"../x", false}, {"a\\b", false}, {std::string("a\0b", 3), false}, {"\x83/", false}};
    for (const auto& [name, safe] : names) {
        EXPECT_EQ(SaveFileBase::IsSafeName(name), safe) << name;
    }
}

TEST_F(SaveFileFolderTest, WritesAndReadsBackBytesTimesAttributesAndNames)
{
    const std::string sjisName = "\x83\x5A\x81\x5B\x83\x75";  // セーブ
    folder.saves["SAVE"] = {Record("DATA", "abc", kTen + 9), Record("EMPTY", "", kTen + 8),
                            Record(sjisName, "x", kTen + 7)};
    folder.saves["SAVE"][0]->attribute = AttributeArchive;
    ASSERT_TRUE(folder.Save(target));
    EXPECT_EQ(ReadText(target + "/SAVE/セーブ"), "x");
    EXPECT_EQ(ReadFileTimes(target + "/SAVE/DATA")->lastAccess, kTen + 9 + 200);

    fs::create_directory(target + "/SAVE/sub");
    SaveFileFolder loaded;
    ASSERT_TRUE(loaded.Load(target + "/SAVE"));
    const auto& files = loaded.saves.at("SAVE");
    ASSERT_EQ(files.size(), 3u);  // the subdirectory is no file of the save
    // Only where the file system keeps creation times do they order the files.
    if (::setxattr((target + "/SAVE/DATA").c_str(), "user.tansu.probe", "1", 1, 0) == 0) {
        EXPECT_EQ(Names(files), (std::vector<std::string>{sjisName, "EMPTY", "DATA"}));
    }
    for (const auto& file : files) {
        const auto& original = *std::ranges::find(folder.saves["SAVE"], file->name, &SaveFileBase::FILE_DATA::name);
        const uint8_t attribute = original->attribute == 0 ? uint8_t{AttributeNormal} : original->attribute;
        EXPECT_EQ(std::tuple(file->data, file->lastWriteTime, file->attribute),
                  std::tuple(original->data, original->lastWriteTime, attribute));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(target + "/SAVE"), {}), 4);  // no temporary left
}

TEST_F(SaveFileFolderTest, ExistingTargetsAndFilesThatCannotBeMade)
{
    WriteText(target + "/SAVE/OLD", "old");
    WriteText(target + "/SAVE/DATA", "before");
    WriteText(target + "/PLAIN", "a file where a save goes");
    fs::create_directories(target + "/SAVE/BLOCKED");
    folder.saves = {{"SAVE", {Record("BLOCKED", "1"), Record("DATA", "after"), Record("../x", "2")}},
                    {"PLAIN", {Record("F", "f")}},
                    {"../up", {Record("F", "f")}}};
    ASSERT_TRUE(folder.Save(target));
    EXPECT_EQ(ReadText(target + "/SAVE/OLD"), "old");
    EXPECT_EQ(ReadText(target + "/SAVE/DATA"), "after");
    EXPECT_EQ(ReadText(target + "/PLAIN.000"), "a file where a save goes");
    EXPECT_EQ(ReadText(target + "/PLAIN/F"), "f");
    EXPECT_TRUE(fs::is_directory(target + "/SAVE/BLOCKED"));
    EXPECT_FALSE(fs::exists(target + "/x") || fs::exists(temp / "x") || fs::exists(temp / "up"));
    EXPECT_TRUE(Logged("ファイルの作成に失敗しました : " + target + "/SAVE/BLOCKED"));
    EXPECT_TRUE(Logged("不正なファイル名をスキップしました SaveFileFolder::Save() " + target + "/SAVE : ../x"));
    EXPECT_FALSE(folder.Save(temp / "missing"));
    EXPECT_FALSE(SaveFileFolder().Save(target));  // nothing to write
}

TEST_F(SaveFileFolderTest, UnreadableFileAbandonsTheLoad)
{
    fs::create_directory(temp / "SAVE");
    ASSERT_EQ(::symlink("nowhere", (temp / "SAVE/LINK").c_str()), 0);
    try {
        folder.Load(temp / "SAVE");
        ADD_FAILURE() << "no error";
    } catch (const SaveFileError& error) {
        EXPECT_EQ(error.path, temp / "SAVE/LINK");
        EXPECT_EQ(error.error, std::errc::no_such_file_or_directory);
    }
}
