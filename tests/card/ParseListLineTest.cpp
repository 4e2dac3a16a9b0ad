#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "TestSupport.h"
#include "card/FtpListParser.h"

namespace {

int64_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0)
{
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&local));
}

class ParseListLineTest : public ::testing::Test {
protected:
    std::string LogText() const { return ReadText(temp / "log.txt"); }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
};

struct Parsed {
    const char* line;
    bool isDirectory;
    int modes;  // owner, group and other as three digits
    uint32_t size;
    int64_t time;
    const char* name;
};

TEST_F(ParseListLineTest, ReadsBothLayoutsOfTheConsoleServers)
{
    const Parsed cases[] = {
        {"drwxrwxrwx 1 0 0 512 Jan 21 2006 SAVEDATA", true, 777, 512, LocalTime(2006, 1, 21), "SAVEDATA"},
        // A time of day stands for the year, and early years, give 1980.
        {"-rwxrwxrwx   1 ps2      ps2         98304 Mar  5 12:34 BESLES-50366", false, 777, 98304,
         LocalTime(1980, 3, 5), "BESLES-50366"},
        {"-rw-r--r-- 1 a b 7 Dec 31 1975 old", false, 311, 7, LocalTime(1980, 12, 31), "old"},
        {"-rw-r--r-- 1 a b 7 Feb 0 2006 zero-day", false, 311, 7, LocalTime(2006, 2, 1), "zero-day"},
        // Blanks before the name go, blanks inside and after it stay.
        {"drwxr-xr-x 1 a b 0 Jun 9 2010    MY SAVE 1  ", true, 755, 0, LocalTime(2010, 6, 9), "MY SAVE 1  "},
        // Sizes keep their low 32 bits.
        {"-rw------- 1 a b 4294967297 Jan 1 2006 huge", false, 300, 1, LocalTime(2006, 1, 1), "huge"},
        // The other layout: no link count, an ISO date and a time that is kept.
        {"drwxrwxrwx ps2 ps2 5 2004-11-23 21:05 BESLES-50366", true, 777, 5, LocalTime(2004, 11, 23, 21, 5),
         "BESLES-50366"},
        {"-rwxrwxrwx ps2 ps2 964 2004-11-23 21:05 icon sys", false, 777, 964, LocalTime(2004, 11, 23, 21, 5),
         "icon sys"},
        {"d--------- ps2 ps2 0 1970-01-01 00:00 mc", true, 0, 0, LocalTime(1980, 1, 1), "mc"},
    };
    for (const Parsed& c : cases) {
        SCOPED_TRACE(c.line);
        FtpClient::FILE_DATA entry;
        ASSERT_TRUE(ParseListLine(c.line, entry));
        EXPECT_EQ(entry.isDirectory, c.isDirectory);
        EXPECT_EQ(entry.ownerMode * 100 + entry.groupMode * 10 + entry.otherMode, c.modes);
        EXPECT_EQ(entry.size, c.size);
        EXPECT_EQ(entry.time, c.time);
        EXPECT_EQ(entry.name, c.name);
        // The raw line stands on a log line of its own.
        EXPECT_NE(LogText().find(std::string(" - ") + c.line + "\n"), std::string::npos);
    }
}

TEST_F(ParseListLineTest, AMisspeltMonthIsLoggedAndReadAsJanuary)
{
    FtpClient::FILE_DATA entry;
    ASSERT_TRUE(ParseListLine("-rw-r--r-- 1 a b 10 jan 21 2006 x", entry));
    EXPECT_EQ(entry.time, LocalTime(2006, 1, 21));
    EXPECT_NE(LogText().find("エラー : 英単語の綴りが間違ってます FtpClient::FILE_DATA jan\n"), std::string::npos);
}

TEST_F(ParseListLineTest, LinesThatNameNoEntryAreSkippedAndLeaveTheEntryAlone)
{
    const char* const lines[] = {
        "",
        "total 12",
        "drwxrwxrwx 1 0 0 512 Jan 21 2006",      // no name
        "drwxrwxrwx 1 0 0 512 Jan 21 2006   ",   // a name of blanks only
        "-rw-r--r-- 1 a b -1 Jan 1 2006 minus",  // sizes that are no number
        "-rw-r--r-- 1 a b 12k Jan 1 2006 unit",
        "-rw-r--r-- 1 a b 10 Jan 32 2006 day",   // no such day
        "drwxrwxrwx ps2 ps2 5 2004-11-23 21:05",  // ISO layout without a name
        "drwxrwxrwx ps2 ps2 x 2004-11-23 21:05 name",
        "drwxrwxrwx ps2 ps2 5 2004-13-23 21:05 month",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        FtpClient::FILE_DATA entry;
        entry.name = "kept";
        entry.size = 3;
        EXPECT_FALSE(ParseListLine(line, entry));
        EXPECT_EQ(entry.name, "kept");
        EXPECT_EQ(entry.size, 3u);
    }
}

}  // namespace
