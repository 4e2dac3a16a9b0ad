#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "common/PcFileMoves.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

// A move never replaces what stands at its target, and takes the source away
// only once its copy is whole, also when the two folders lie on different
// file systems (the staging folder and a PC folder on a stick).
TEST(PcFileMoves, MovesWithoutReplacingOnOneFileSystemAndAcrossTwo)
{
    TempDir disk;
    std::string other = disk / "same/";
    fs::create_directories(other);
    struct stat here {}, shm {};
    std::string elsewhere = "/dev/shm/tansu-XXXXXX";
    if (::stat(disk.path().c_str(), &here) == 0 && ::stat("/dev/shm", &shm) == 0 && here.st_dev != shm.st_dev &&
        ::mkdtemp(elsewhere.data()) != nullptr) {
        other = elsewhere + "/";
    }
    for (const std::string& folder : {disk / "same/", other}) {
        WriteText(disk / "from", "moved");
        WriteText(folder + "taken", "kept");
        EXPECT_EQ(MoveWithoutReplacing(disk / "from", folder + "taken"), std::errc::file_exists) << folder;
        EXPECT_EQ(ReadText(folder + "taken") + ReadText(disk / "from"), "keptmoved");
        EXPECT_FALSE(MoveWithoutReplacing(disk / "from", folder + "new")) << folder;
        EXPECT_EQ(ReadText(folder + "new"), "moved");
        EXPECT_FALSE(fs::exists(disk / "from"));
    }
    if (other != disk / "same/") {
        fs::remove_all(other);
    }

    std::string path;
    EXPECT_EQ(WorkingFolderFile("../x", path), std::errc::invalid_argument);
    EXPECT_TRUE(path.empty());
}
