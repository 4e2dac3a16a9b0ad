#include <gtest/gtest.h>

#include <string>

#include "card/ParseMode.h"

namespace {

struct ModeCase {
    const char* text;
    bool isDirectory;
    int owner;
    int group;
    int other;
};

class ParseModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(ParseModeTest, FillsTheFourModeFields)
{
    const ModeCase& c = GetParam();
    // Start from a filled record: every field must be set, not only OR-ed into.
    FtpClient::FILE_DATA entry;
    entry.isDirectory = !c.isDirectory;
    entry.ownerMode = entry.groupMode = entry.otherMode = 0xFF;

    ParseMode(c.text, entry);

    EXPECT_EQ(entry.isDirectory, c.isDirectory) << c.text;
    EXPECT_EQ(entry.ownerMode, c.owner) << c.text;
    EXPECT_EQ(entry.groupMode, c.group) << c.text;
    EXPECT_EQ(entry.otherMode, c.other) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, ParseModeTest,
    ::testing::Values(ModeCase{"drwxrwxrwx", true, 7, 7, 7}, ModeCase{"-rw-r--r--", false, 3, 1, 1},
                      ModeCase{"d---------", true, 0, 0, 0}, ModeCase{"-rwxrwxrwx", false, 7, 7, 7},
                      // Set-id and sticky letters still count as granted.
                      ModeCase{"-rwsr-xr-t", false, 7, 5, 5}, ModeCase{"l-w---x---", false, 2, 4, 0},
                      // Short texts: the missing characters grant nothing.
                      ModeCase{"drwx", true, 7, 0, 0}, ModeCase{"-r", false, 1, 0, 0}, ModeCase{"", false, 0, 0, 0},
                      // Only the first ten characters matter.
                      ModeCase{"drwxr-x---rwx", true, 7, 5, 0}));

TEST(EntryFilterTest, DropsDotNamesAndNamesThatCannotNameASave)
{
    EXPECT_FALSE(PassesEntryFilter(""));
    EXPECT_FALSE(PassesEntryFilter("."));
    EXPECT_FALSE(PassesEntryFilter(".."));
    EXPECT_FALSE(PassesEntryFilter("..."));
    EXPECT_FALSE(PassesEntryFilter("a:b"));
    EXPECT_FALSE(PassesEntryFilter("mc0:"));
    EXPECT_FALSE(PassesEntryFilter("a/b"));
    EXPECT_FALSE(PassesEntryFilter("../x"));
    EXPECT_FALSE(PassesEntryFilter(std::string("a\0b", 3)));
}

TEST(EntryFilterTest, KeepsOrdinaryNames)
{
    EXPECT_TRUE(PassesEntryFilter(".icon"));
    EXPECT_TRUE(PassesEntryFilter("a..b"));
    EXPECT_TRUE(PassesEntryFilter("BASLUS-21050SAVE"));
    EXPECT_TRUE(PassesEntryFilter("icon.sys"));
    EXPECT_TRUE(PassesEntryFilter("\x83\x5a\x81\x5b\x83\x75"));  // Shift-JIS bytes
}

}  // namespace
