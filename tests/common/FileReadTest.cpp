#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

// Whatever a save folder holds besides regular files is refused at once:
// links (to a file, a folder or nothing), pipes and folders.
TEST(FileRead, FilesToCopyAreRegularFilesReachedWithoutALink)
{
    TempDir temp;
    WriteText(temp / "outside", "secret");
    WriteText(temp / "plain", "data");
    ASSERT_EQ(::symlink((temp / "outside").c_str(), (temp / "link").c_str()), 0);
    ASSERT_EQ(::symlink(temp.path().c_str(), (temp / "folder link").c_str()), 0);
    ASSERT_EQ(::symlink((temp / "nowhere").c_str(), (temp / "dangling").c_str()), 0);
    ASSERT_EQ(::mkfifo((temp / "fifo").c_str(), 0644), 0);
    const struct {
        const char* name;
        std::errc error;
    } refused[] = {
        {"link", std::errc::too_many_symbolic_link_levels}, {"folder link", std::errc::too_many_symbolic_link_levels},
        {"dangling", std::errc::too_many_symbolic_link_levels}, {"fifo", std::errc::invalid_argument},
        {"missing", std::errc::no_such_file_or_directory},
    };
    for (const auto& c : refused) {
        FileDescriptor file;
        struct stat status {};
        EXPECT_EQ(OpenRegularFile(temp / c.name, file, &status), std::make_error_code(c.error)) << c.name;
        EXPECT_FALSE(file.valid()) << c.name;
    }
    FileDescriptor file;
    struct stat status {};
    EXPECT_EQ(OpenRegularFile(temp.path(), file, &status), std::make_error_code(std::errc::is_a_directory));
    ASSERT_FALSE(OpenRegularFile(temp / "plain", file, &status));
    char bytes[8] = {};
    EXPECT_EQ(::read(file.get(), bytes, sizeof bytes), 4);
}
