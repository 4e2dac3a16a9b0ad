#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "card/ParseMode.h"

namespace {

TEST(ParseModeTest, SetsAllFourFields)
{
    // Modes as owner, group and other digits (r = 1, w = 2, x = 4).
    const std::tuple<const char*, bool, int> cases[] = {
        {"drwxrwxrwx", true, 777}, {"-rw-r--r--", false, 311}, {"d---------", true, 0},
        {"-rwsr-xr-t", false, 755}, {"l-w---x---", false, 240},  // set-id and sticky letters grant
        {"drwx", true, 700}, {"", false, 0},                       // missing characters grant nothing
        {"drwxr-x---rwx", true, 750},                               // only ten characters count
    };
    for (const auto& [text, isDirectory, modes] : cases) {
        // Start from a filled record: every field must be set, not only OR-ed into.
        FtpClient::FILE_DATA entry;
        entry.isDirectory = !isDirectory;
        entry.ownerMode = entry.groupMode = entry.otherMode = 0xFF;
        ParseMode(text, entry);
        EXPECT_EQ(entry.isDirectory, isDirectory) << text;
        EXPECT_EQ(entry.ownerMode * 100 + entry.groupMode * 10 + entry.otherMode, modes) << text;
    }
}

TEST(EntryFilterTest, DropsDotNamesAndNamesThatCannotNameASave)
{
    const std::string dropped[] = {"", ".", "..", "...", "a:b", "mc0:", "a/b", "../x", std::string("a\0b", 3)};
    for (const auto& name : dropped) {
        EXPECT_FALSE(PassesEntryFilter(name)) << name;
    }
    for (const char* name : {".icon", "a..b", "BASLUS-21050SAVE", "icon.sys", "\x83\x5a\x81\x5b\x83\x75"}) {
        EXPECT_TRUE(PassesEntryFilter(name)) << name;
    }
}

}  // namespace
