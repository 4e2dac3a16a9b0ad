#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "common/Log.h"

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The message part of a log line: what follows the time and " - ".
std::string Message(const std::string& line)
{
    const size_t separator = line.find(" - ");
    return separator == std::string::npos ? "<no separator>" : line.substr(separator + 3);
}

}  // namespace

TEST(Log, LineBreaksFoldToSpaces)
{
    EXPECT_EQ(FoldLogMessage("a\r\nb\nc"), "a b c");
    EXPECT_EQ(FoldLogMessage("ends\r\n"), "ends ");
    EXPECT_EQ(FoldLogMessage("\r\r\n"), "\r ");
    EXPECT_EQ(FoldLogMessage("\r\r\n\n\r"), "\r  \r");
    EXPECT_EQ(FoldLogMessage("\n\r\n"), "  ");
    EXPECT_EQ(FoldLogMessage("lone\rcr"), "lone\rcr");

    TempDir dir;
    {
        ScopedProgramDirectory program(dir.path());
        Log("a\r\nb\nc");
        Log("MemoryCardFtp::List()\r\n");
    }
    const std::string text = ReadText(dir / "log.txt");
    const auto lines = Lines(text);
    ASSERT_EQ(lines.size(), 2u) << text;
    EXPECT_EQ(Message(lines[0]), "a b c");
    EXPECT_EQ(Message(lines[1]), "MemoryCardFtp::List() ");
    EXPECT_NE(lines[0].find(" - "), 0u);  // a time comes first
    EXPECT_EQ(text.back(), '\n');
}

TEST(Log, AppendsAcrossOpens)
{
    TempDir dir;
    WriteText(dir / "log.txt", "earlier run\n");
    {
        ScopedProgramDirectory program(dir.path());
        Log("first");
        LogOpen();
        Log("second");
    }
    {
        ScopedProgramDirectory program(dir.path());
        Log("third");
    }
    const auto lines = Lines(ReadText(dir / "log.txt"));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "earlier run");
    EXPECT_EQ(Message(lines[1]), "first");
    EXPECT_EQ(Message(lines[2]), "second");
    EXPECT_EQ(Message(lines[3]), "third");
}

TEST(Log, DeferredNotesAreWrittenOnOpen)
{
    TempDir dir;
    LogDeferred("before the log");
    {
        ScopedProgramDirectory program(dir.path());
        Log("after");
    }
    const auto lines = Lines(ReadText(dir / "log.txt"));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(Message(lines[0]), "before the log");
    EXPECT_EQ(Message(lines[1]), "after");
}

TEST(Log, LinesFromSeveralThreadsStayWhole)
{
    constexpr int kThreads = 4;
    constexpr int kLines = 100;
    TempDir dir;
    {
        ScopedProgramDirectory program(dir.path());
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([t] {
                const std::string body(200, static_cast<char>('A' + t));
                for (int i = 0; i < kLines; ++i) {
                    Log(body + "\n" + std::to_string(i));
                }
            });
        }
        for (auto& thread : threads) {
            thread.join();
        }
    }
    const auto lines = Lines(ReadText(dir / "log.txt"));
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    std::vector<int> next(kThreads, 0);
    for (const auto& line : lines) {
        const std::string message = Message(line);
        ASSERT_GE(message.size(), 202u) << line;
        const int t = message[0] - 'A';
        ASSERT_TRUE(t >= 0 && t < kThreads) << line;
        // One thread's lines keep their order.
        EXPECT_EQ(message, std::string(200, message[0]) + " " + std::to_string(next[t]++));
    }
    EXPECT_EQ(next, std::vector<int>(kThreads, kLines));
}

TEST(Log, ErrorTextIsOneLine)
{
    TempDir dir;
    {
        ScopedProgramDirectory program(dir.path());
        LogError(std::make_error_code(std::errc::no_such_file_or_directory));
    }
    const auto lines = Lines(ReadText(dir / "log.txt"));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(Message(lines[0]), std::make_error_code(std::errc::no_such_file_or_directory).message());
}
