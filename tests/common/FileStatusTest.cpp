#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "support/TestSupport.h"
#include "common/FileStatus.h"

namespace {

// Some file systems (some tmpfs) refuse user extended attributes.
bool KeepsUserAttributes(const std::string& path)
{
    if (::setxattr(path.c_str(), "user.tansu.probe", "1", 1, 0) != 0) {
        return false;
    }
    ::removexattr(path.c_str(), "user.tansu.probe");
    return true;
}

}  // namespace

TEST(FileStatus, TimesAreWrittenAndReadBack)
{
    TempDir dir;
    const std::string file = dir / "DATA.BIN";
    WriteText(file, "x");
    FileTimes times;
    times.lastWrite = 1'000'000'000;
    times.lastAccess = 1'100'000'000;
    times.creation = 946'684'807;  // the seconds carry a file order key of 7
    ASSERT_TRUE(WriteFileTimes(file, times));
    const auto read = ReadFileTimes(file);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->lastWrite, times.lastWrite);
    EXPECT_EQ(read->lastAccess, times.lastAccess);
    if (!KeepsUserAttributes(file)) {
        GTEST_SKIP() << "the temporary folder keeps no user extended attributes; creation time not checked";
    }
    EXPECT_EQ(read->creation, times.creation);

    // Without a creation time the stored one stays.
    times.creation.reset();
    times.lastWrite = 1'200'000'000;
    ASSERT_TRUE(WriteFileTimes(file, times));
    EXPECT_EQ(ReadFileTimes(file)->creation, std::optional<int64_t>(946'684'807));
}

TEST(FileStatus, UnreadableCreationAttributeFallsBack)
{
    TempDir dir;
    const std::string file = dir / "a";
    WriteText(file, "x");
    if (!KeepsUserAttributes(file)) {
        GTEST_SKIP() << "the temporary folder keeps no user extended attributes";
    }
    // Birth time or nothing, never the junk.
    const std::optional<int64_t> birth = ReadFileTimes(file)->creation;
    for (const std::string& junk : {std::string("12x"), std::string(), std::string("99999999999999999999999"), std::string("-"), std::string(40, '1')}) {
        ::setxattr(file.c_str(), "user.tansu.creation_time", junk.data(), junk.size(), 0);
        const auto times = ReadFileTimes(file);
        ASSERT_TRUE(times.has_value());
        EXPECT_EQ(times->creation, birth) << junk;
    }
}

TEST(FileStatus, MissingFiles)
{
    TempDir dir;
    EXPECT_FALSE(ReadFileTimes(dir / "none").has_value());
    EXPECT_FALSE(WriteFileTimes(dir / "none", FileTimes{}));
    EXPECT_FALSE(ReadFileAttributes(dir / "none").has_value());
    EXPECT_FALSE(WriteFileAttributes(dir / "none", AttributeReadOnly));
}

TEST(FileStatus, Attributes)
{
    TempDir dir;
    const std::string file = dir / "f";
    WriteText(file, "x");
    EXPECT_EQ(ReadFileAttributes(file), std::optional<uint32_t>(AttributeNormal));
    EXPECT_EQ(ReadFileAttributes(dir.path()), std::optional<uint32_t>(AttributeDirectory));

    ASSERT_TRUE(WriteFileAttributes(file, AttributeReadOnly));
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0222, 0u);
    EXPECT_EQ(ReadFileAttributes(file), std::optional<uint32_t>(AttributeReadOnly));

    ASSERT_TRUE(WriteFileAttributes(file, AttributeNormal));
    EXPECT_EQ(ReadFileAttributes(file), std::optional<uint32_t>(AttributeNormal));
    EXPECT_EQ(::access(file.c_str(), W_OK), 0);

    ASSERT_TRUE(WriteFileAttributes(file, AttributeHidden | AttributeArchive | AttributeReadOnly));
    if (!KeepsUserAttributes(dir.path())) {
        GTEST_SKIP() << "the temporary folder keeps no user extended attributes; hidden and archive not checked";
    }
    EXPECT_EQ(ReadFileAttributes(file), std::optional<uint32_t>(AttributeHidden | AttributeArchive | AttributeReadOnly));
    // A stored directory or normal bit means nothing for a file.
    ASSERT_TRUE(WriteFileAttributes(file, AttributeDirectory | AttributeNormal | AttributeSystem));
    EXPECT_EQ(ReadFileAttributes(file), std::optional<uint32_t>(AttributeSystem));
    ASSERT_TRUE(WriteFileAttributes(file, 0));
    EXPECT_EQ(ReadFileAttributes(file), std::optional<uint32_t>(AttributeNormal));
}

TEST(FileStatus, ListDirectoryInByteOrder)
{
    TempDir dir;
    for (const std::string name : {"b", "B", "a", "\xE3\x81\x82", "_", "a0", "~"}) {
        WriteText(dir / name, name);
    }
    ASSERT_EQ(::mkdir((dir / "sub").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("a0", (dir / "link").c_str()), 0);
    ASSERT_EQ(::symlink("sub", (dir / "linkdir").c_str()), 0);
    ASSERT_EQ(::symlink("gone", (dir / "dangling").c_str()), 0);

    std::error_code error = std::make_error_code(std::errc::io_error);
    const auto entries = ListDirectory(dir.path(), &error);
    EXPECT_FALSE(error);
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"B", "_", "a", "a0", "b", "dangling", "link", "linkdir", "sub", "~",
                                               "\xE3\x81\x82"}));
    const auto find = [&entries](const std::string& name) {
        for (const auto& entry : entries) {
            if (entry.name == name) {
                return entry;
            }
        }
        return DirectoryEntry{};
    };
    EXPECT_EQ(find("a0").size, 2u);
    EXPECT_FALSE(find("a0").isDirectory);
    EXPECT_EQ(find("link").size, 2u);
    EXPECT_TRUE(find("sub").isDirectory);
    EXPECT_EQ(find("sub").size, 0u);
    EXPECT_TRUE(find("linkdir").isDirectory);
    EXPECT_FALSE(find("dangling").isDirectory);
}

TEST(FileStatus, ListDirectoryReportsFailure)
{
    TempDir dir;
    std::error_code error;
    EXPECT_TRUE(ListDirectory(dir / "missing", &error).empty());
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    WriteText(dir / "file", "x");
    EXPECT_TRUE(ListDirectory(dir / "file", &error).empty());
    EXPECT_TRUE(error);
    EXPECT_TRUE(ListDirectory(dir / "missing").empty());
}

TEST(FileStatus, FileSystemThatRefusesUserAttributes)
{
    // Linux refuses user extended attributes on a FIFO, as some file systems do on every file.
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_FALSE(KeepsUserAttributes(fifo));
    FileTimes times;
    times.lastWrite = 1'000'000'000;
    times.lastAccess = 1'000'000'001;
    times.creation = 999'999'999;
    EXPECT_TRUE(WriteFileTimes(fifo, times));
    const auto read = ReadFileTimes(fifo);
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(read->lastWrite, times.lastWrite);
    EXPECT_NE(read->creation, times.creation);
    EXPECT_TRUE(WriteFileAttributes(fifo, AttributeHidden | AttributeReadOnly));
    EXPECT_EQ(ReadFileAttributes(fifo), std::optional<uint32_t>(AttributeReadOnly));
    EXPECT_TRUE(WriteFileAttributes(fifo, 0));
    EXPECT_EQ(ReadFileAttributes(fifo), std::optional<uint32_t>(AttributeNormal));
}
