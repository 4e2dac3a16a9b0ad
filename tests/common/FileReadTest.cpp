#include <gtest/gtest.h>
#include <sys/stat.h>

#include <numeric>
#include <string>
#include <vector>

#include "common/FileRead.h"
#include "support/TestSupport.h"

TEST(FileRead, ReadsRegularFilesOnlyAndHeadsUpToTheirLimit)
{
    TempDir temp;
    const std::string fifo = temp / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    std::vector<uint8_t> bytes{1, 2, 3};
    // A pipe with no writer must be refused at once, not waited on.
    EXPECT_EQ(ReadWholeFile(fifo, bytes), std::make_error_code(std::errc::invalid_argument));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(ReadFileHead(fifo, 16).openError, std::make_error_code(std::errc::invalid_argument));
    EXPECT_EQ(ReadWholeFile(temp.path(), bytes), std::make_error_code(std::errc::is_a_directory));
    EXPECT_EQ(ReadFileHead(temp.path(), 16).openError, std::make_error_code(std::errc::is_a_directory));

    std::vector<uint8_t> content(100000);
    std::iota(content.begin(), content.end(), uint8_t{0});
    WriteBytes(temp / "big", content);
    ASSERT_FALSE(ReadWholeFile(temp / "big", bytes));
    EXPECT_EQ(bytes, content);
    const FileHead head = ReadFileHead(temp / "big", 10);
    EXPECT_EQ(head.length, content.size());
    EXPECT_EQ(head.bytes, std::vector<uint8_t>(content.begin(), content.begin() + 10));
    EXPECT_EQ(ReadFileHead(temp / "big", 200000).bytes, content);
}
