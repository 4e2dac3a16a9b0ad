#include <fcntl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <system_error>
#include <utility>

#include "common/FileDescriptor.h"
#include "common/FileHelpers.h"
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

// A new file beside others never replaces one: it takes the first free numbered name.
TEST(PendingFile, CommitUnderFreeNameReplacesNothing)
{
    TempDir temp;
    const std::string target = temp / "T.psu";
    const auto commit = [&](const std::string& text) {
        PendingFile file(target);
        EXPECT_FALSE(file.Create());
        EXPECT_FALSE(file.Write(text.data(), text.size()));
        const std::error_code error = file.CommitUnderFreeName();
        return error ? error.message() : file.CommittedPath();
    };
    EXPECT_EQ(commit("first"), target);
    EXPECT_EQ(commit("second"), temp / "T.000.psu");
    std::filesystem::create_directory(temp / "T.001.psu");  // a folder, or anything, counts as taken
    EXPECT_EQ(commit("third"), temp / "T.002.psu");
    EXPECT_EQ(ReadText(target) + ReadText(temp / "T.000.psu") + ReadText(temp / "T.002.psu"), "firstsecondthird");
    for (int number = 3; number <= 999; ++number) {
        WriteText(NumberedName(target, number), "");
    }
    EXPECT_EQ(commit("none"), std::make_error_code(std::errc::file_exists).message());
    EXPECT_EQ(ReadText(target), "first");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.path()), {}), 1001);  // no temporary left
}

TEST(PendingFile, TemporaryNames)
{
    const std::pair<const char*, bool> cases[] = {
        {".tansu-123-0.tmp", true}, {".tansu-1-99.tmp", true},  {".tansu-123.tmp", false},  {".tansu--0.tmp", false},
        {".tansu-0-0.tmp", false},  {".tansu-12a-0.tmp", false}, {"tansu-123-0.tmp", false}, {".tansu-123-0.tmp.000", false},
        {".tansu-99999999999999999999-0.tmp", false},
    };
    for (const auto& [name, temporary] : cases) {
        EXPECT_EQ(PendingFile::IsTemporaryName(name), temporary) << name;
    }
    // The temporaries this class makes carry that form.
    TempDir temp;
    PendingFile file(temp / "target");
    ASSERT_FALSE(file.Create());
    EXPECT_TRUE(PendingFile::IsTemporaryName(std::filesystem::path(file.TemporaryPath()).filename().string()));
}
