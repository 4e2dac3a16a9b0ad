#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/TestSupport.h"
#include "common/FileHelpers.h"

TEST(FileHelpers, BackupNameTakesTheFirstFreeNumber)
{
    TempDir dir;
    const std::string p = dir / "BASLUS-20184";
    EXPECT_EQ(BackupName(p), p + ".000");
    WriteText(p + ".000", "");
    WriteText(p + ".001", "");
    EXPECT_EQ(BackupName(p), p + ".002");
    WriteText(p + ".003", "");
    EXPECT_EQ(BackupName(p), p + ".002");
}

TEST(FileHelpers, BackupNameCountsDirectoriesAndLinks)
{
    TempDir dir;
    const std::string p = dir / "save";
    ASSERT_EQ(::mkdir((p + ".000").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("nowhere", (p + ".001").c_str()), 0);
    EXPECT_EQ(BackupName(p), p + ".002");
}

TEST(FileHelpers, BackupNameGivesUpAfter999)
{
    TempDir dir;
    const std::string p = dir / "x";
    for (int i = 0; i <= 999; ++i) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, ".%03d", i);
        WriteText(p + suffix, "");
    }
    EXPECT_EQ(BackupName(p), "");
}

TEST(FileHelpers, ExistenceTests)
{
    TempDir dir;
    WriteText(dir / "file", "x");
    ASSERT_EQ(::symlink("gone", (dir / "dangling").c_str()), 0);
    EXPECT_TRUE(IsFile(dir / "file"));
    EXPECT_FALSE(IsDirectory(dir / "file"));
    EXPECT_TRUE(IsDirectory(dir.path()));
    EXPECT_FALSE(IsFile(dir.path()));
    EXPECT_TRUE(Exists(dir / "file"));
    EXPECT_TRUE(Exists(dir.path()));
    EXPECT_FALSE(Exists(dir / "none"));
    EXPECT_TRUE(Exists(dir / "dangling"));
    EXPECT_FALSE(IsFile(dir / "dangling"));
}

TEST(FileHelpers, JoinPath)
{
    EXPECT_EQ(JoinPath("/a", "b"), "/a/b");
    EXPECT_EQ(JoinPath("/a/", "b"), "/a/b");
    EXPECT_EQ(JoinPath("", "b"), "b");
    EXPECT_EQ(JoinPath("/", "b"), "/b");
}
