#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/TestSupport.h"
#include "common/Log.h"

namespace {

// The message part of each line: what follows the time and " - ".
std::vector<std::string> Messages(const std::string& path)
{
    std::vector<std::string> messages;
    std::istringstream in(ReadText(path));
    for (std::string line; std::getline(in, line);) {
        const size_t separator = line.find(" - ");
        messages.push_back(separator == std::string::npos || separator == 0 ? "<no time>" : line.substr(separator + 3));
    }
    return messages;
}

}  // namespace

TEST(Log, FoldsLineBreaksAndAppendsAcrossOpens)
{
    const std::pair<std::string, std::string> folds[] = {
        {"a\r\nb\nc", "a b c"}, {"ends\r\n", "ends "}, {"\r\r\n", "\\x0D "}, {"\n\r\n", "  "}, {"lone\rcr", "lone\\x0Dcr"},
        // A card name carrying a terminal's escape sequence, a C1 control and bytes that are no UTF-8.
        {"name \x1B]0;pwned\x07 \xC2\x9B" "2J \xFF", "name \\x1B]0;pwned\\x07 \\x9B2J \\xFF"}, {"タブ\tあ", "タブ\\x09あ"}};
    for (const auto& [message, folded] : folds) {
        EXPECT_EQ(FoldLogMessage(message), folded);
    }
    TempDir dir;
    WriteText(dir / "log.txt", "2000/01/01 00:00:00 - earlier run\n");
    LogDeferred("before the log");
    {
        ScopedProgramDirectory program(dir.path());
        Log("a\r\nb\nc");
        LogOpen();
        Log("MemoryCardFtp::List()\r\n");
    }
    {
        ScopedProgramDirectory program(dir.path());
        Log("third");
    }
    EXPECT_EQ(Messages(dir / "log.txt"), (std::vector<std::string>{"earlier run", "before the log", "a b c",
                                                                     "MemoryCardFtp::List() ", "third"}));
    EXPECT_EQ(ReadText(dir / "log.txt").back(), '\n');
}

TEST(Log, LinesFromSeveralThreadsStayWholeAndInOrder)
{
    const auto write = [](char letter) {
        for (int i = 0; i < 100; ++i) {
            Log(std::string(200, letter) + "\n" + std::to_string(i));
        }
    };
    TempDir dir;
    {
        ScopedProgramDirectory program(dir.path());
        std::jthread a(write, 'A'), b(write, 'B'), c(write, 'C'), d(write, 'D');
    }
    std::map<char, int> next;
    for (const auto& message : Messages(dir / "log.txt")) {
        ASSERT_EQ(message, std::string(200, message[0]) + " " + std::to_string(next[message[0]]++));
    }
    EXPECT_EQ(next, (std::map<char, int>{{'A', 100}, {'B', 100}, {'C', 100}, {'D', 100}}));
}

TEST(Log, RepeatedLinesAreWrittenOnceWithTheirCount)
{
    TempDir dir;
    {
        ScopedProgramDirectory program(dir.path());
        for (int i = 0; i < 5; ++i) {
            Log("same");
        }
        Log("other");
        Log("same");
        Log("same");
    }
    EXPECT_EQ(Messages(dir / "log.txt"),
              (std::vector<std::string>{"same", "上の行がさらに4回繰り返されました", "other", "same",
                                        "上の行がさらに1回繰り返されました"}));
}
