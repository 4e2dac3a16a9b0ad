#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "common/FileHelpers.h"

TEST(FileHelpers, BackupNameTakesTheFirstFreeNumberUpTo999)
{
    TempDir dir;
    const std::string p = dir / "BASLUS-20184";
    EXPECT_EQ(BackupName(p), p + ".000");
    WriteText(p + ".000", "");
    ASSERT_EQ(::mkdir((p + ".001").c_str(), 0755), 0);
    ASSERT_EQ(::symlink("nowhere", (p + ".002").c_str()), 0);
    WriteText(p + ".004", "");
    EXPECT_EQ(BackupName(p), p + ".003");  // directories and dangling links count as taken
    for (int i = 3; i <= 999; ++i) {
        char suffix[8];
        std::snprintf(suffix, sizeof suffix, ".%03d", i);
        WriteText(p + suffix, "");
    }
    EXPECT_EQ(BackupName(p), "");
}

TEST(FileHelpers, ExistenceJoinAndPlainNames)
{
    TempDir dir;
    WriteText(dir / "file", "x");
    ASSERT_EQ(::symlink("gone", (dir / "dangling").c_str()), 0);
    EXPECT_TRUE(IsFile(dir / "file") && IsDirectory(dir.path()) && Exists(dir / "dangling"));
    EXPECT_FALSE(IsDirectory(dir / "file") || IsFile(dir.path()) || IsFile(dir / "dangling") || Exists(dir / "none"));
    EXPECT_EQ(JoinPath("/a", "b") + JoinPath("/a/", "b") + JoinPath("", "b") + JoinPath("/", "b"), "/a/b/a/bb/b");

    // Every backend, reader and command takes this one rule: a line break would end an FTP command early.
    for (const std::string& name : std::vector<std::string>{"SAVE", "...", ".x", "a b", "a\\b", "\x83\x5C"}) {
        EXPECT_TRUE(IsPlainName(name)) << name;
    }
    for (const std::string& name : std::vector<std::string>{"", ".", "..", "../x", "a/", "a\rb", "a\nb", std::string("a\0b", 3)}) {
        EXPECT_FALSE(IsPlainName(name)) << name;
    }
}
