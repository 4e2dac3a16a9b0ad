#include "save/SaveFileFolder.h"

#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <limits>
#include <filesystem>
#include <string>
#include <vector>

#include "common/FileStatus.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

int64_t LocalTime(int hour, int minute, int second)
{
    std::tm local{};
    local.tm_year = 2012 - 1900;
    local.tm_mon = 7;
    local.tm_mday = 4;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&local));
}

std::shared_ptr<SaveFileBase::FILE_DATA> Record(const std::string& name, const std::string& data, int64_t created = 0)
{
    auto file = std::make_shared<SaveFileBase::FILE_DATA>();
    file->name = name;
    file->data.assign(data.begin(), data.end());
    file->creationTime = created;
    file->lastWriteTime = created == 0 ? 0 : created + 100;
    file->lastAccessTime = created == 0 ? 0 : created + 200;
    return file;
}

std::vector<std::string> Names(const SaveFileBase::FileList& files)
{
    std::vector<std::string> names;
    for (const auto& file : files) {
        names.push_back(file->name);
    }
    return names;
}

bool KeepsCreationTimes(const std::string& file) { return ::setxattr(file.c_str(), "user.tansu.probe", "1", 1, 0) == 0; }

class SaveFileFolderTest : public ::testing::Test {
protected:
    std::string LogText() const { return ReadText(temp / "log.txt"); }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    std::string target = temp / "out";
    void SetUp() override { fs::create_directory(target); }
};

}  // namespace

TEST(SaveFileBase, FileOrderKeyCountsOnlyTheSecondsAndKeepsTies)
{
    SaveFileBase::FileList files{Record("5", "", LocalTime(10, 0, 5)), Record("3", "", LocalTime(10, 0, 3)),
                                 Record("4", "", LocalTime(10, 1, 4))};
    SaveFileBase::SortByFileOrder(files);
    EXPECT_EQ(Names(files), (std::vector<std::string>{"3", "4", "5"}));

    // Beyond the 16 and 32 elements where unstable sorts change their method.
    SaveFileBase::FileList ties;
    std::vector<std::string> expected;
    for (int i = 0; i < 40; ++i) {
        ties.push_back(Record(std::to_string(i), "", LocalTime(10, i, 7)));
        expected.push_back(std::to_string(i));
    }
    ties.push_back(Record("first", "", LocalTime(9, 0, 1)));
    expected.insert(expected.begin(), "first");
    SaveFileBase::SortByFileOrder(ties);
    EXPECT_EQ(Names(ties), expected);
    EXPECT_EQ(SaveFileBase::FileOrderKey(std::numeric_limits<int64_t>::max()), -1);
}

TEST(SaveFileBase, SafeNames)
{
    // ソ and 表 end in 0x5C, which is no separator there.
    for (const std::string name : {"icon.sys", "...", "\x83", "\x83\x5C", "A\x95\x5C"}) {
        EXPECT_TRUE(SaveFileBase::IsSafeName(name)) << name;
    }
    for (const std::string& name : {std::string(), std::string("."), std::string(".."), std::string("../x"),
                                    std::string("a\\b"), std::string("a\0b", 3), std::string("\x83/")}) {
        EXPECT_FALSE(SaveFileBase::IsSafeName(name)) << name;
    }
}

TEST_F(SaveFileFolderTest, WritesAndReadsBackEveryByteTimeAndName)
{
    SaveFileFolder folder;
    const std::string sjisName = "\x83\x5A\x81\x5B\x83\x75";  // セーブ
    folder.saves["SAVE"] = {Record("DATA", "abc", LocalTime(10, 0, 9)), Record("EMPTY", "", LocalTime(10, 0, 8)),
                            Record(sjisName, "x", LocalTime(10, 0, 7))};
    folder.saves["SAVE"][0]->attribute = AttributeArchive;
    ASSERT_TRUE(folder.Save(target));
    EXPECT_EQ(ReadText(target + "/SAVE/セーブ"), "x");
    EXPECT_EQ(ReadFileTimes(target + "/SAVE/DATA")->lastAccess, LocalTime(10, 0, 9) + 200);

    fs::create_directory(target + "/SAVE/sub");
    SaveFileFolder loaded;
    ASSERT_TRUE(loaded.Load(target + "/SAVE"));
    const auto& files = loaded.saves.at("SAVE");
    ASSERT_EQ(files.size(), 3u);  // the subdirectory is no file of the save
    if (KeepsCreationTimes(target + "/SAVE/DATA")) {
        EXPECT_EQ(Names(files), (std::vector<std::string>{sjisName, "EMPTY", "DATA"}));
    }
    for (const auto& file : files) {
        const auto& original = *std::find_if(folder.saves["SAVE"].begin(), folder.saves["SAVE"].end(),
                                              [&](const auto& record) { return record->name == file->name; });
        EXPECT_EQ(file->data, original->data);
        EXPECT_EQ(file->lastWriteTime, original->lastWriteTime);
        EXPECT_EQ(file->attribute, original->attribute == 0 ? static_cast<uint8_t>(AttributeNormal) : original->attribute);
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(target + "/SAVE"), fs::directory_iterator()), 4);  // no temporary

    ASSERT_TRUE(loaded.Load(target + "/SAVE/"));
    EXPECT_EQ(loaded.saves.count(""), 1u);
    loaded.Save(target);  // the empty name cannot become a folder
    EXPECT_FALSE(fs::exists(target + "/DATA"));
    EXPECT_NE(LogText().find("不正なファイル名をスキップしました SaveFileFolder::Save() "), std::string::npos);
}

TEST_F(SaveFileFolderTest, ExistingTargetsAndFilesThatCannotBeMade)
{
    WriteText(target + "/SAVE/OLD", "old");
    WriteText(target + "/SAVE/DATA", "before");
    WriteText(target + "/PLAIN", "a file where a save goes");
    fs::create_directories(target + "/SAVE/BLOCKED");
    SaveFileFolder folder;
    folder.saves["SAVE"] = {Record("BLOCKED", "1"), Record("DATA", "after"), Record("../x", "2")};
    folder.saves["PLAIN"] = {Record("F", "f")};
    folder.saves["../up"] = {Record("F", "f")};
    ASSERT_TRUE(folder.Save(target));
    EXPECT_EQ(ReadText(target + "/SAVE/OLD"), "old");
    EXPECT_EQ(ReadText(target + "/SAVE/DATA"), "after");
    EXPECT_EQ(ReadText(target + "/PLAIN.000"), "a file where a save goes");
    EXPECT_EQ(ReadText(target + "/PLAIN/F"), "f");
    EXPECT_TRUE(fs::is_directory(target + "/SAVE/BLOCKED"));
    EXPECT_FALSE(fs::exists(target + "/x") || fs::exists(temp / "x") || fs::exists(temp / "up"));
    const std::string log = LogText();
    EXPECT_NE(log.find("ファイルの作成に失敗しました : " + target + "/SAVE/BLOCKED"), std::string::npos);
    EXPECT_NE(log.find("SaveFileFolder::Save() " + target + "/SAVE : ../x"), std::string::npos);

    EXPECT_FALSE(SaveFileFolder().Save(target));
    EXPECT_FALSE(folder.Save(temp / "missing"));
    EXPECT_FALSE(folder.Load(temp / "missing"));
}

TEST_F(SaveFileFolderTest, UnreadableFileAbandonsTheLoad)
{
    fs::create_directory(temp / "SAVE");
    ASSERT_EQ(::symlink("nowhere", (temp / "SAVE/LINK").c_str()), 0);
    SaveFileFolder folder;
    try {
        folder.Load(temp / "SAVE");
        FAIL() << "no error";
    } catch (const SaveFileError& error) {
        EXPECT_EQ(error.path, temp / "SAVE/LINK");
        EXPECT_EQ(error.error, std::errc::no_such_file_or_directory);
    }
}
