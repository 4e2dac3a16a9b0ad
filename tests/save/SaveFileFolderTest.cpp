#include "save/SaveFileFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
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

std::shared_ptr<SaveFileBase::FILE_DATA> Record(const std::string& name, const std::string& data, int64_t created = kTen)
{
    return std::make_shared<SaveFileBase::FILE_DATA>(SaveFileBase::FILE_DATA{.name = name, .data = {data.begin(), data.end()},
        .creationTime = created, .lastWriteTime = created + 100, .attribute = AttributeNormal});
}

class SaveFileFolderTest : public ::testing::Test {
protected:
    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    const std::string target = (fs::create_directory(temp / "out"), temp / "out");
    SaveFileFolder folder;
};

}  // namespace

TEST(SaveFileBase, FileOrderAndSafeNames)
{
    // 40 ties: past the sizes where unstable sorts change their method.
    SaveFileBase::FileList files;
    for (int i = 0; i < 40; ++i) {
        files.push_back(Record(std::to_string(i), "", kTen + 60 * i + 7));
    }
    files.push_back(Record("first", "", kTen - 59));
    SaveFileBase::SortByFileOrder(files);
    for (int i = 0; i <= 40; ++i) {
        EXPECT_EQ(files[static_cast<size_t>(i)]->name, i == 0 ? "first" : std::to_string(i - 1));
    }
    EXPECT_EQ(SaveFileBase::FileOrderKey(std::numeric_limits<int64_t>::max()), -1);

    // ソ ends in 0x5C, which is no separator there.
    const std::pair<std::string, bool> names[] = {{"icon.sys", true}, {"...", true}, {"\x83", true}, {"\x83\x5C", true},
                                                  {"", false}, {".", false}, {"..", false}, {"../x", false}, {"a\\b", false},
                                                  {std::string("a\0b", 3), false}, {"\x83/", false}};
    for (const auto& [name, safe] : names) {
        EXPECT_EQ(SaveFileBase::IsSafeName(name), safe) << name;
    }
}

TEST_F(SaveFileFolderTest, WritesAndReadsBack)
{
    const std::string sjisName = "\x83\x5A\x81\x5B\x83\x75";  // セーブ
    folder.saves["SAVE"] = {Record("DATA", "abc", kTen + 9), Record("EMPTY", "", kTen + 8), Record(sjisName, "x", kTen + 7)};
    folder.saves["SAVE"][0]->attribute = AttributeArchive;
    ASSERT_TRUE(folder.Save(target));
    EXPECT_EQ(ReadText(target + "/SAVE/セーブ"), "x");
    EXPECT_EQ(std::distance(fs::directory_iterator(target + "/SAVE"), {}), 3);  // no temporary left

    fs::create_directory(target + "/SAVE/sub");  // no file of the save
    SaveFileFolder loaded;
    ASSERT_TRUE(loaded.Load(target + "/SAVE"));
    const auto& files = loaded.saves.at("SAVE");
    ASSERT_EQ(files.size(), 3u);
    if (ReadFileTimes(target + "/SAVE/DATA")->creation) {  // only kept creation times order the files
        EXPECT_EQ(files[0]->name + "," + files[1]->name + "," + files[2]->name, sjisName + ",EMPTY,DATA");
    }
    for (const auto& got : files) {
        const auto& sent = **std::ranges::find(folder.saves["SAVE"], got->name, &SaveFileBase::FILE_DATA::name);
        EXPECT_EQ(std::tie(got->data, got->lastWriteTime, got->attribute), std::tie(sent.data, sent.lastWriteTime, sent.attribute));
    }

    // An old save of the name is kept whole as a backup (SaveBackupTest); unsafe names go
    // nowhere, and the rest is written, but the call fails.
    WriteText(target + "/NEXT/OLD", "old");
    folder.saves = {{"NEXT", {Record("DATA", "after"), Record("../x", "2")}}, {"../up", {Record("F", "f")}}};
    EXPECT_FALSE(folder.Save(target));
    EXPECT_EQ(folder.written, std::vector<std::string>{target + "/NEXT"});
    EXPECT_EQ(ReadText(target + "/NEXT/DATA") + "|" + ReadText(target + "/NEXT.000/OLD"), "after|old");
    EXPECT_FALSE(fs::exists(target + "/NEXT/OLD") || fs::exists(target + "/x") || fs::exists(temp / "x") || fs::exists(temp / "up"));
    EXPECT_FALSE(SaveFileFolder().Save(target));  // nothing to write

    // Two names that are one name on the PC (no Shift-JIS: both decode alike): the first stays whole.
    folder.saves = {{"SAME", {Record("A\x80", "first"), Record("A\xA0", "second")}}};
    EXPECT_FALSE(folder.Save(target));
    ASSERT_EQ(std::distance(fs::directory_iterator(target + "/SAME"), {}), 1);
    EXPECT_EQ(ReadText(fs::directory_iterator(target + "/SAME")->path()), "first");
}

// Only the regular files a save folder itself holds are its files: a link
// would put whatever it names (any file the user can read) into a container,
// a pipe would wait for a writer. Either fails the load, naming the entry.
TEST_F(SaveFileFolderTest, LinksAndPipesFailTheLoad)
{
    WriteText(temp / "secret", "private");
    const std::string save = target + "/SAVE", refused = "エラー : 通常のファイルではないため読み込みませんでした SaveFileFolder::Load() ";
    const std::pair<const char*, std::function<void(const std::string&)>> cases[] = {
        {"link", [&](const std::string& path) { fs::create_symlink(temp / "secret", path); }},
        {"dangling", [&](const std::string& path) { fs::create_symlink(temp / "nowhere", path); }},
        {"folder-link", [&](const std::string& path) { fs::create_directory_symlink(temp.path(), path); }},
        {"pipe", [&](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); }},
    };
    for (const auto& [name, make] : cases) {
        fs::remove_all(save);
        WriteText(save + "/DATA", "data");
        make(save + "/" + name);
        SaveFileFolder loaded;
        EXPECT_FALSE(loaded.Load(save)) << name;
        EXPECT_TRUE(loaded.saves.empty()) << name;
        EXPECT_NE(ReadText(temp / "log.txt").find(refused + save + "/" + name), std::string::npos) << name;
    }
    fs::remove_all(save);
    fs::create_directory_symlink(temp.path(), save);  // the save folder itself
    EXPECT_FALSE(folder.Load(save));
}

// A save larger than any card is refused before it is read; the files are sparse.
TEST_F(SaveFileFolderTest, SaveLargerThanAnyCardIsRefusedUnread)
{
    const std::string save = target + "/BIG";
    WriteText(save + "/A", "a");  // together, not each, the files pass the limit
    WriteText(save + "/B", "");
    fs::resize_file(save + "/B", SaveFileBase::kLargestSave);
    EXPECT_FALSE(folder.Load(save));
    EXPECT_NE(ReadText(temp / "log.txt").find("エラー : セーブデータが大きすぎるため読み込みませんでした SaveFileFolder::Load() " + save),
              std::string::npos);
}
