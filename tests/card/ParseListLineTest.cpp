#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "TestSupport.h"
#include "card/FtpListParser.h"

namespace {

int64_t LocalTime(int year, int month, int day, int hour = 0, int minute = 0)
{
    std::tm t{0, minute, hour, day, month - 1, year - 1900, 0, 0, -1, 0, nullptr};
    return std::mktime(&t);
}

// "<name> <d or -><owner, group and other mode digits> <size>"
std::string Describe(const FtpClient::FILE_DATA& e)
{
    return e.name + (e.isDirectory ? " d" : " -") + std::to_string(e.ownerMode * 100 + e.groupMode * 10 + e.otherMode) +
           " " + std::to_string(e.size);
}

TEST(ParseListLineTest, ReadsBothLayoutsOfTheConsoleServersAndSkipsLinesThatNameNoEntry)
{
    TempDir temp;
    ScopedProgramDirectory programDirectory(temp.path());
    const struct { const char *line, *entry; int64_t time; } cases[] = {
        {"drwxrwxrwx 1 0 0 512 Jan 21 2006 SAVEDATA", "SAVEDATA d777 512", LocalTime(2006, 1, 21)},
        // A time of day stands for the year, and early years, give 1980; day 0 gives 1.
        {"-rwxrwxrwx   1 ps2      ps2         98304 Mar  5 12:34 BES", "BES -777 98304", LocalTime(1980, 3, 5)},
        {"-rw-r--r-- 1 a b 7 Dec 0 1975 old", "old -311 7", LocalTime(1980, 12, 1)},
        // Blanks before the name go, blanks inside and after it stay; sizes keep their low 32 bits.
        {"drwxr-xr-x 1 a b 4294967297 Jun 9 2010    MY SAVE 1  ", "MY SAVE 1   d755 1", LocalTime(2010, 6, 9)},
        // The other layout: no link count, an ISO date and a time that is kept.
        {"-rwxrwxrwx ps2 ps2 964 2004-11-23 21:05 icon sys", "icon sys -777 964", LocalTime(2004, 11, 23, 21, 5)},
        {"d--------- ps2 ps2 0 1970-01-01 00:00 mc", "mc d0 0", LocalTime(1980, 1, 1)},
        // A misspelt month is logged and read as January.
        {"-rw-r--r-- 1 a b 10 jan 21 2006 x", "x -311 10", LocalTime(2006, 1, 21)},
    };
    for (const auto& c : cases) {
        FtpClient::FILE_DATA entry;
        EXPECT_TRUE(ParseListLine(c.line, entry) && Describe(entry) == c.entry && entry.time == c.time)
            << c.line << " -> " << Describe(entry) << " " << entry.time;
        // The raw line stands on a log line of its own.
        EXPECT_NE(ReadText(temp / "log.txt").find(std::string(" - ") + c.line + "\n"), std::string::npos);
    }
    EXPECT_NE(ReadText(temp / "log.txt").find(" - エラー : 英単語の綴りが間違ってます FtpClient::FILE_DATA jan\n"),
              std::string::npos);

    for (const char* line : {"", "total 12", "drwxrwxrwx 1 0 0 512 Jan 21 2006   ", "-rw-r--r-- 1 a b -1 Jan 1 2006 minus",
                             "-rw-r--r-- 1 a b 10 Jan 32 2006 day", "drwxrwxrwx ps2 ps2 5 2004-11-23 21:05",
                             "drwxrwxrwx ps2 ps2 5 2004-13-23 21:05 month"}) {
        FtpClient::FILE_DATA entry;
        entry.name = "kept";
        EXPECT_FALSE(ParseListLine(line, entry) || entry.name != "kept") << line;
    }
}

}  // namespace
