// Writing a save where one of its name already stands keeps the old one under
// its backup name, for the folder writer and the raw PS1 writer alike.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "save/PS1SaveFileMcr.h"
#include "save/SaveFileFolder.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// Every file below folder as "path=content", in order.
std::string Listing(const std::string& folder)
{
    std::set<std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files.insert(fs::relative(entry.path(), folder).string() + "=" + ReadText(entry.path().string()));
        }
    }
    std::string text;
    for (const std::string& file : files) {
        text += file + " ";
    }
    return text;
}

class SaveBackupTest : public ::testing::Test {
protected:
    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    const std::string pc = temp / "pc/";
};

}  // namespace

TEST_F(SaveBackupTest, OldSaveIsKeptNeverWrittenInto)
{
    SaveFileFolder folder;
    folder.saves["SAVE"] = {std::make_shared<SaveFileBase::FILE_DATA>(SaveFileBase::FILE_DATA{.name = "NEW", .data = {'n'}})};
    PS1SaveFileMcr ps1;
    ps1.items = {{"SAVE", {'n'}}};
    const std::pair<std::function<bool()>, std::string> writers[] = {{[&] { return folder.Save(pc); }, "SAVE/NEW=n "},
                                                                     {[&] { return ps1.SaveRaw(pc); }, "SAVE=n "}};
    // Files standing before, and what is there besides the new save afterwards.
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, ""},
        {{"SAVE/OLD"}, "SAVE.000/OLD=SAVE/OLD "},
        {{"SAVE"}, "SAVE.000=SAVE "},
        {{"SAVE/OLD", "SAVE.000"}, "SAVE.000=SAVE.000 SAVE.001/OLD=SAVE/OLD "},
    };
    for (const auto& [save, written] : writers) {
        for (const auto& [before, after] : cases) {
            fs::remove_all(pc);
            fs::create_directory(pc);
            for (const std::string& file : before) {
                WriteText(pc + file, file);
            }
            ASSERT_TRUE(save()) << written;
            EXPECT_EQ(Listing(pc), after + written) << written;  // "SAVE." sorts before "SAVE/" and "SAVE="
        }
        // No backup name left: the save is refused and the old one stays as it was.
        for (int i = 0; i <= 999; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "SAVE.%03d", i);
            WriteText(pc + name, "");
        }
        fs::remove_all(pc + "SAVE");
        WriteText(pc + "SAVE/OLD", "old");
        EXPECT_FALSE(save()) << written;
        EXPECT_EQ(ReadText(pc + "SAVE/OLD"), "old");
        EXPECT_NE(ReadText(temp / "log.txt").find("エラー : 既存のセーブデータを退避できませんでした "), std::string::npos);
    }
}

// A card gives a save of n blocks as n items, each the save up to that block:
// one call writes the whole save over the old one, with one backup only.
TEST_F(SaveBackupTest, SaveOfSeveralBlocksFromACardLeavesOneBackup)
{
    PS1SaveFileMcr card, loaded;
    card.items = {{"BIG", MakePS1Save("T", 3)}};
    ASSERT_TRUE(card.Save(temp / "card.mcr") && loaded.Load(temp / "card.mcr"));
    ASSERT_EQ(loaded.items.size(), 3u);
    WriteText(pc + "BIG", "old");
    ASSERT_TRUE(loaded.SaveRaw(pc));
    EXPECT_EQ(ReadBytes(pc + "BIG"), MakePS1Save("T", 3));
    EXPECT_EQ(ReadText(pc + "BIG.000"), "old");
    EXPECT_FALSE(fs::exists(pc + "BIG.001"));
    // Nowhere to write: nothing lands in the working folder instead.
    EXPECT_FALSE(loaded.SaveRaw("") || loaded.SaveRaw(temp / "missing") || fs::exists("BIG"));
}
