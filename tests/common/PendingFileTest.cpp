#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <utility>

#include "common/FileDescriptor.h"
#include "common/PendingFile.h"
#include "support/TestSupport.h"

TEST(PendingFile, TargetChangesOnlyOnASuccessfulCommitAndNoTemporaryStays)
{
    TempDir temp;
    // The longest name a folder entry may have: the temporary needs a short name of its own.
    const std::string target = temp / std::string(255, 'n');
    WriteText(target, "old");
    {
        PendingFile file(target);
        ASSERT_FALSE(file.Create());
        ASSERT_FALSE(file.Write("new", 3));
        ASSERT_FALSE(file.Sync());
        EXPECT_EQ(ReadText(target), "old");
        ASSERT_FALSE(file.Commit());
    }
    EXPECT_EQ(ReadText(target), "new");
    {
        PendingFile file(target);
        ASSERT_FALSE(file.Create());
        ASSERT_FALSE(file.Write("part", 4));
    }
    EXPECT_EQ(ReadText(target), "new");

    // A folder in the target's place refuses the rename and keeps its content.
    WriteText(temp / "taken/inside", "x");
    {
        PendingFile file(temp / "taken");
        ASSERT_FALSE(file.Create());
        ASSERT_FALSE(file.Write("data", 4));
        EXPECT_TRUE(file.Commit());
    }
    EXPECT_EQ(ReadText(temp / "taken/inside"), "x");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 2);
}

TEST(FileDescriptor, ClosesOnceWhereverOwnershipMoves)
{
    TempDir temp;
    WriteText(temp / "f", "x");
    FileDescriptor first(::open((temp / "f").c_str(), O_RDONLY | O_CLOEXEC));
    const int fd = first.get();
    FileDescriptor second;
    second = std::move(first);
    EXPECT_FALSE(second.Close());
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
    // The number is free for the next open: neither a second Close nor a destructor may touch it.
    const int reused = ::open((temp / "f").c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_FALSE(second.Close());
    { const FileDescriptor moved(std::move(first)), other(std::move(second)); }
    EXPECT_NE(::fcntl(reused, F_GETFD), -1);
    ::close(reused);
}
