#include <gtest/gtest.h>
#include <sys/stat.h>

#include <unistd.h>

#include <numeric>
#include <string>
#include <system_error>
#include <utility>
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

// Files found inside a folder the program walks: the name itself must be the
// regular file, never a link to one, and nothing may wait on a pipe.
TEST(FileRead, OpenRegularFileRefusesLinksAndSpecialFiles)
{
    TempDir temp;
    WriteText(temp / "file", "x");
    ASSERT_EQ(::symlink("file", (temp / "link").c_str()), 0);
    ASSERT_EQ(::symlink("gone", (temp / "dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo((temp / "fifo").c_str(), 0644), 0);
    const std::pair<std::string, std::error_code> cases[] = {
        {"file", {}},
        {"link", std::make_error_code(std::errc::too_many_symbolic_link_levels)},
        {"dangling", std::make_error_code(std::errc::too_many_symbolic_link_levels)},
        {"fifo", std::make_error_code(std::errc::invalid_argument)},
        {"", std::make_error_code(std::errc::is_a_directory)},
        {"missing", std::make_error_code(std::errc::no_such_file_or_directory)},
    };
    for (const auto& [name, expected] : cases) {
        FileDescriptor file;
        struct stat status {};
        EXPECT_EQ(OpenRegularFile(temp / name, file, &status), expected) << name;
        EXPECT_EQ(file.valid(), !expected) << name;
    }
    FileDescriptor file;
    ASSERT_FALSE(OpenRegularFile(temp / "file", file));
    std::vector<uint8_t> bytes;
    ASSERT_FALSE(ReadWholeFile(file, bytes));
    EXPECT_EQ(bytes, std::vector<uint8_t>{'x'});
}

TEST(FileRead, ReadWholeFileRefusesWhatIsLongerThanItsLimit)
{
    TempDir temp;
    WriteText(temp / "ten", "0123456789");
    std::vector<uint8_t> bytes{1};
    EXPECT_EQ(ReadWholeFile(temp / "ten", bytes, 9), std::make_error_code(std::errc::file_too_large));
    EXPECT_TRUE(bytes.empty());
    ASSERT_FALSE(ReadWholeFile(temp / "ten", bytes, 10));
    EXPECT_EQ(bytes.size(), 10u);
}
