#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <string>

#include "support/TestSupport.h"
#include "common/FileStatus.h"

TEST(FileStatus, TimesAndAttributesRoundTrip)
{
    TempDir dir;
    const std::string file = dir / "DATA.BIN";
    WriteText(file, "x");
    const std::optional<int64_t> birth = ReadFileTimes(file)->creation;
    EXPECT_FALSE(ReadFileTimes(dir / "none") || WriteFileTimes(dir / "none", {}) || ReadFileAttributes(dir / "none") ||
                 WriteFileAttributes(dir / "none", AttributeReadOnly));
    EXPECT_EQ(ReadFileAttributes(dir.path()), std::optional<uint32_t>(AttributeDirectory));
    ASSERT_TRUE(WriteFileAttributes(file, AttributeReadOnly));
    EXPECT_EQ(ReadFileAttributes(file), std::optional<uint32_t>(AttributeReadOnly));
    ASSERT_TRUE(WriteFileAttributes(file, 0));
    EXPECT_EQ(ReadFileAttributes(file), std::optional<uint32_t>(AttributeNormal));

    const FileTimes times{946'684'807, 1'000'000'000, 1'100'000'000};  // creation seconds carry a file order key
    ASSERT_TRUE(WriteFileTimes(file, times));
    EXPECT_EQ(ReadFileTimes(file)->lastWrite, times.lastWrite);
    EXPECT_EQ(ReadFileTimes(file)->lastAccess, times.lastAccess);
    if (::setxattr(file.c_str(), "user.tansu.probe", "1", 1, 0) != 0) {
        GTEST_SKIP() << "the temporary folder keeps no user extended attributes";
    }
    EXPECT_EQ(ReadFileTimes(file)->creation, times.creation);
    ASSERT_TRUE(WriteFileTimes(file, FileTimes{std::nullopt, 1'200'000'000, 0}));
    EXPECT_EQ(ReadFileTimes(file)->creation, times.creation);  // kept when none is given
    // A stored directory or normal bit means nothing for a file.
    ASSERT_TRUE(WriteFileAttributes(file, AttributeHidden | AttributeArchive | AttributeReadOnly));
    EXPECT_EQ(ReadFileAttributes(file), std::optional<uint32_t>(AttributeHidden | AttributeArchive | AttributeReadOnly));
    ASSERT_TRUE(WriteFileAttributes(file, AttributeDirectory | AttributeNormal | AttributeSystem));
    EXPECT_EQ(ReadFileAttributes(file), std::optional<uint32_t>(AttributeSystem));

    // A damaged creation attribute gives the birth time or nothing, never the junk.
    for (const std::string& junk : {std::string("12x"), std::string(), std::string("-"), std::string(40, '1')}) {
        ::setxattr(file.c_str(), "user.tansu.creation_time", junk.data(), junk.size(), 0);
        EXPECT_EQ(ReadFileTimes(file)->creation, birth) << junk;
    }
}

TEST(FileStatus, FileSystemThatRefusesUserAttributes)
{
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    ASSERT_NE(::setxattr(fifo.c_str(), "user.tansu.probe", "1", 1, 0), 0);  // as some file systems do on every file
    EXPECT_TRUE(WriteFileTimes(fifo, FileTimes{999'999'999, 1'000'000'000, 1'000'000'001}));
    EXPECT_EQ(ReadFileTimes(fifo)->lastWrite, 1'000'000'000);
    EXPECT_NE(ReadFileTimes(fifo)->creation, std::optional<int64_t>(999'999'999));
    EXPECT_TRUE(WriteFileAttributes(fifo, AttributeHidden | AttributeReadOnly));
    EXPECT_EQ(ReadFileAttributes(fifo), std::optional<uint32_t>(AttributeReadOnly));
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
    std::string listing;
    for (const auto& entry : ListDirectory(dir.path(), &error)) {
        listing += entry.name + (entry.isDirectory ? "/" : "") + std::to_string(entry.size) + " ";
    }
    EXPECT_FALSE(error);
    EXPECT_EQ(listing, "B1 _1 a1 a02 b1 dangling0 link2 linkdir/0 sub/0 ~1 \xE3\x81\x82" "3 ");

    EXPECT_TRUE(ListDirectory(dir / "missing", &error).empty());
    EXPECT_EQ(error, std::errc::no_such_file_or_directory);
    EXPECT_TRUE(ListDirectory(dir / "a", &error).empty());
    EXPECT_TRUE(error);
    EXPECT_TRUE(ListDirectory(dir / "missing").empty());
}
