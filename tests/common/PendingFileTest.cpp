#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "common/FileDescriptor.h"
#include "common/PendingFile.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Names(const std::string& directory)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

}  // namespace

TEST(PendingFile, TargetKeepsOldContentUntilCommit)
{
    TempDir temp;
    const std::string target = temp / "save.psu";
    WriteText(target, "old");
    {
        PendingFile file(target);
        ASSERT_FALSE(file.Create());
        // Hidden, beside the target, and not named after it.
        const fs::path temporary(file.TemporaryPath());
        EXPECT_EQ(temporary.parent_path(), fs::path(target).parent_path());
        EXPECT_EQ(temporary.filename().string().front(), '.');
        EXPECT_EQ(temporary.filename().string().find("save.psu"), std::string::npos);
        ASSERT_FALSE(file.Write("new", 3));
        ASSERT_FALSE(file.Sync());
        EXPECT_EQ(ReadText(target), "old");
        ASSERT_FALSE(file.Commit());
        EXPECT_EQ(file.Descriptor(), -1);
    }
    EXPECT_EQ(ReadText(target), "new");
    EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"save.psu"});
}

TEST(PendingFile, TemporaryGoesAwayWhenNotCommitted)
{
    TempDir temp;
    {
        PendingFile file(temp / "never");
        ASSERT_FALSE(file.Create());
        ASSERT_FALSE(file.Write("part", 4));
    }
    EXPECT_TRUE(Names(temp.path()).empty());

    // A folder in the target's place refuses the rename: the folder and its
    // content stay, and nothing else is left behind.
    fs::create_directory(temp / "taken");
    WriteText(temp / "taken/inside", "x");
    {
        PendingFile file(temp / "taken");
        ASSERT_FALSE(file.Create());
        ASSERT_FALSE(file.Write("data", 4));
        EXPECT_TRUE(file.Commit());
    }
    EXPECT_EQ(Names(temp.path()), std::vector<std::string>{"taken"});
    EXPECT_EQ(ReadText(temp / "taken/inside"), "x");
}

TEST(PendingFile, CreateFailuresAndLongNames)
{
    TempDir temp;
    PendingFile missing(temp / "no-such-folder/file");
    EXPECT_EQ(missing.Create(), std::make_error_code(std::errc::no_such_file_or_directory));
    EXPECT_TRUE(missing.TemporaryPath().empty());

    // The longest name a folder entry may have still works: the temporary's own name is short.
    const std::string longest = temp / std::string(255, 'n');
    PendingFile file(longest);
    ASSERT_FALSE(file.Create());
    ASSERT_FALSE(file.Write("ok", 2));
    ASSERT_FALSE(file.Commit());
    EXPECT_EQ(ReadText(longest), "ok");
}

TEST(FileDescriptor, OwnershipMovesAndEndsInOneClose)
{
    TempDir temp;
    WriteText(temp / "f", "x");
    FileDescriptor first(::open((temp / "f").c_str(), O_RDONLY | O_CLOEXEC));
    const int fd = first.get();
    ASSERT_TRUE(first.valid());

    FileDescriptor second(std::move(first));
    EXPECT_FALSE(first.valid());
    EXPECT_EQ(second.get(), fd);
    FileDescriptor third;
    third = std::move(second);
    EXPECT_EQ(third.get(), fd);
    EXPECT_TRUE(IsOpen(fd));
    EXPECT_FALSE(third.Close());
    EXPECT_FALSE(IsOpen(fd));
    // Nothing left to close is no error, and nothing is closed twice.
    EXPECT_FALSE(third.Close());
    EXPECT_FALSE(FileDescriptor(-1).valid());
}
