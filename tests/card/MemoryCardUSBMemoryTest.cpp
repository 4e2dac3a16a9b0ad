#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "card/MemoryCardOwner.h"
#include "card/MemoryCardUSBMemory.h"
#include "common/DriveType.h"
#include "common/FileHelpers.h"

namespace fs = std::filesystem;

namespace {

class FakeOwner : public MemoryCardOwner {
public:
    std::string usbFolder;
    std::string GetSlotText() const override { return "1"; }
    std::string GetEditText(Edit edit) const override { return edit == Edit::UsbFolder ? usbFolder : std::string(); }
    bool IsOptionChecked(Option) const override { return false; }
};

// Put and Get work against the process's current directory.
class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(const std::string& directory) : previous(fs::current_path())
    {
        fs::current_path(directory);
    }
    ~ScopedWorkingDirectory()
    {
        std::error_code ignored;
        fs::current_path(previous, ignored);
    }
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

private:
    fs::path previous;
};

std::vector<std::string> Names(const std::vector<FtpClient::FILE_DATA>& entries)
{
    std::vector<std::string> names;
    for (const auto& entry : entries) {
        names.push_back(entry.name);
    }
    return names;
}

std::vector<std::string> FolderNames(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& item : fs::directory_iterator(folder)) {
        names.push_back(item.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// base/card is the card folder, base/pc the PC folder (current directory).
class USBMemoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(card);
        fs::create_directories(pc);
        owner.usbFolder = base / "card";
        SetRemovableDriveProbe([this](const std::string& path) {
            probed.push_back(path);
            return removable;
        });
    }
    void TearDown() override { SetRemovableDriveProbe(nullptr); }

    TempDir base;
    const std::string card = base / "card/";
    const std::string pc = base / "pc/";
    FakeOwner owner;
    bool removable = true;
    std::vector<std::string> probed;
};

TEST_F(USBMemoryTest, ConnectsOnlyOnARemovableDrive)
{
    MemoryCardUSBMemory yes(&owner);
    EXPECT_TRUE(yes.IsConnected());
    EXPECT_EQ(yes.slotMask, 1u);

    removable = false;
    MemoryCardUSBMemory no(&owner);
    EXPECT_FALSE(no.IsConnected());
    EXPECT_EQ(no.slotMask, 0u);
}

TEST_F(USBMemoryTest, RootGetsExactlyOneTrailingSlash)
{
    owner.usbFolder = base / "card";
    MemoryCardUSBMemory first(&owner);
    owner.usbFolder = card;
    MemoryCardUSBMemory second(&owner);
    EXPECT_EQ(probed, (std::vector<std::string>{card, card}));
}

TEST_F(USBMemoryTest, EmptyOrRelativeFolderIsNoCardAndTouchesNothing)
{
    ScopedWorkingDirectory cwd(pc);
    WriteText(pc + "data", "pc");
    for (const std::string folder : {"", ".", "card"}) {
        SCOPED_TRACE(folder);
        owner.usbFolder = folder;
        MemoryCardUSBMemory memory(&owner);
        EXPECT_FALSE(memory.IsConnected());
        EXPECT_EQ(memory.slotMask, 0u);
        EXPECT_TRUE(memory.List().empty());
        EXPECT_FALSE(memory.MakeDirectory("made"));
        EXPECT_FALSE(memory.Put("data"));
        EXPECT_FALSE(memory.Get("data"));
        EXPECT_FALSE(memory.Remove("data"));
    }
    EXPECT_TRUE(probed.empty());
    // Nothing landed relative to the current directory.
    EXPECT_EQ(FolderNames(pc), std::vector<std::string>{"data"});
    EXPECT_EQ(ReadText(pc + "data"), "pc");
}

TEST_F(USBMemoryTest, ListsFilesAndFoldersWithFixedModes)
{
    WriteText(card + "SAVE/icon.sys", "12345");
    WriteText(card + "PS1SAVE", "abc");
    const struct timespec times[2] = {{1000000000, 0}, {1234567890, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (card + "PS1SAVE").c_str(), times, 0), 0);

    MemoryCardUSBMemory memory(&owner);
    ASSERT_TRUE(memory.SetCurrentDirectory(""));
    const auto entries = memory.List();
    ASSERT_EQ(Names(entries), (std::vector<std::string>{"PS1SAVE", "SAVE"}));

    const auto& file = entries[0];
    EXPECT_FALSE(file.isDirectory);
    EXPECT_EQ(file.ownerMode, 7);
    EXPECT_EQ(file.groupMode, 7);
    EXPECT_EQ(file.otherMode, 7);
    EXPECT_EQ(file.size, 3u);
    EXPECT_EQ(file.time, 1234567890);

    const auto& folder = entries[1];
    EXPECT_TRUE(folder.isDirectory);
    EXPECT_EQ(folder.ownerMode, 0);
    EXPECT_EQ(folder.groupMode, 0);
    EXPECT_EQ(folder.otherMode, 0);

    ASSERT_TRUE(memory.SetCurrentDirectory("SAVE"));
    // A file or a missing name is no directory, and the current one stays.
    EXPECT_FALSE(memory.SetCurrentDirectory("PS1SAVE"));
    EXPECT_FALSE(memory.SetCurrentDirectory("MISSING"));
    const auto inside = memory.List();
    ASSERT_EQ(Names(inside), std::vector<std::string>{"icon.sys"});
    EXPECT_EQ(inside[0].size, 5u);
    ASSERT_TRUE(memory.SetCurrentDirectory(""));
    EXPECT_EQ(memory.List().size(), 2u);
}

TEST_F(USBMemoryTest, PutAndGetReplaceTheOtherSide)
{
    ScopedWorkingDirectory cwd(pc);
    WriteText(card + "SAVE/data", "old card");
    WriteText(pc + "data", "new from pc");
    MemoryCardUSBMemory memory(&owner);
    ASSERT_TRUE(memory.SetCurrentDirectory("SAVE"));

    ASSERT_TRUE(memory.Put("data"));
    EXPECT_EQ(ReadText(card + "SAVE/data"), "new from pc");

    WriteText(card + "SAVE/data", "changed on card");
    ASSERT_TRUE(memory.Get("data"));
    EXPECT_EQ(ReadText(pc + "data"), "changed on card");

    // No temporary copies are left on either side.
    EXPECT_EQ(FolderNames(card + "SAVE"), std::vector<std::string>{"data"});
    EXPECT_EQ(FolderNames(pc), std::vector<std::string>{"data"});
}

TEST_F(USBMemoryTest, CopiesLargeFilesWholeAndKeepsTheLastWriteTime)
{
    ScopedWorkingDirectory cwd(pc);
    std::vector<uint8_t> bytes(300000);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    }
    WriteBytes(pc + "big.bin", bytes);
    const struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, (pc + "big.bin").c_str(), times, 0), 0);

    MemoryCardUSBMemory memory(&owner);
    ASSERT_TRUE(memory.Put("big.bin"));
    EXPECT_EQ(ReadBytes(card + "big.bin"), bytes);
    const auto entries = memory.List();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].size, bytes.size());
    EXPECT_EQ(entries[0].time, 1500000000);
}

TEST_F(USBMemoryTest, FailedCopiesLeaveTheDestinationAlone)
{
    ScopedWorkingDirectory cwd(pc);
    WriteText(card + "SAVE/data", "card");
    fs::create_directories(card + "SAVE/folder");
    fs::create_directories(pc + "pcfolder");
    MemoryCardUSBMemory memory(&owner);
    ASSERT_TRUE(memory.SetCurrentDirectory("SAVE"));

    EXPECT_FALSE(memory.Put("data"));      // no such PC file
    EXPECT_FALSE(memory.Put("pcfolder"));  // a folder is not a file
    EXPECT_FALSE(memory.Get("missing"));
    EXPECT_FALSE(memory.Get("folder"));
    WriteText(pc + "folder", "pc");
    EXPECT_FALSE(memory.Put("folder"));  // would replace a folder on the card

    EXPECT_EQ(ReadText(card + "SAVE/data"), "card");
    EXPECT_EQ(FolderNames(card + "SAVE"), (std::vector<std::string>{"data", "folder"}));
    EXPECT_EQ(FolderNames(pc), (std::vector<std::string>{"folder", "pcfolder"}));
}

TEST_F(USBMemoryTest, RemovesFilesInTheSaveAndDirectoriesFromTheRoot)
{
    WriteText(card + "FULL/data", "x");
    WriteText(card + "SAVE/data", "x");
    fs::create_directories(card + "SAVE/sub");
    MemoryCardUSBMemory memory(&owner);
    ASSERT_TRUE(memory.SetCurrentDirectory("SAVE"));

    EXPECT_FALSE(memory.Remove("sub"));
    EXPECT_FALSE(memory.Remove("missing"));
    EXPECT_TRUE(memory.Remove("data"));

    EXPECT_TRUE(memory.MakeDirectory("NEW"));
    EXPECT_TRUE(IsDirectory(card + "NEW"));
    EXPECT_FALSE(memory.MakeDirectory("NEW"));
    EXPECT_TRUE(memory.RemoveDirectory("NEW"));
    EXPECT_FALSE(IsDirectory(card + "NEW"));
    EXPECT_FALSE(memory.RemoveDirectory("FULL"));
    EXPECT_TRUE(IsFile(card + "FULL/data"));

    // The current directory is still the save.
    EXPECT_EQ(Names(memory.List()), std::vector<std::string>{"sub"});
}

TEST_F(USBMemoryTest, FolderEditIsReadAtEveryOperation)
{
    MemoryCardUSBMemory memory(&owner);
    ASSERT_TRUE(memory.IsConnected());

    const std::string other = base / "other/";
    WriteText(other + "MOVED/file", "");
    owner.usbFolder = other;
    removable = false;

    EXPECT_TRUE(memory.IsConnected());
    EXPECT_EQ(memory.slotMask, 1u);
    EXPECT_EQ(Names(memory.List()), std::vector<std::string>{"MOVED"});
    EXPECT_TRUE(memory.SetCurrentDirectory("MOVED"));
    EXPECT_TRUE(memory.MakeDirectory("MADE"));
    EXPECT_TRUE(IsDirectory(other + "MADE"));
    EXPECT_FALSE(IsDirectory(card + "MADE"));
}

TEST_F(USBMemoryTest, NamesThatLeaveTheFolderAreRefused)
{
    ScopedWorkingDirectory cwd(pc);
    fs::create_directories(card + "SAVE");
    WriteText(base / "outside", "keep");
    WriteText(pc + "x", "pc");
    MemoryCardUSBMemory memory(&owner);
    ASSERT_TRUE(memory.SetCurrentDirectory("SAVE"));

    const std::vector<std::string> bad = {".", "..", "../outside", "SAVE/../..", "a/b", std::string("x\0y", 3)};
    for (const auto& name : bad) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(memory.SetCurrentDirectory(name));
        EXPECT_FALSE(memory.Remove(name));
        EXPECT_FALSE(memory.Put(name));
        EXPECT_FALSE(memory.Get(name));
        EXPECT_FALSE(memory.MakeDirectory(name));
        EXPECT_FALSE(memory.RemoveDirectory(name));
    }
    for (const auto& call : {&MemoryCardUSBMemory::Remove, &MemoryCardUSBMemory::Put, &MemoryCardUSBMemory::Get,
                             &MemoryCardUSBMemory::MakeDirectory, &MemoryCardUSBMemory::RemoveDirectory}) {
        EXPECT_FALSE((memory.*call)(""));
    }

    // Still inside SAVE, and nothing outside the card folder changed.
    EXPECT_TRUE(memory.List().empty());
    EXPECT_EQ(ReadText(base / "outside"), "keep");
    EXPECT_EQ(FolderNames(base.path()), (std::vector<std::string>{"card", "outside", "pc"}));
    EXPECT_EQ(FolderNames(pc), std::vector<std::string>{"x"});
    EXPECT_EQ(FolderNames(card), std::vector<std::string>{"SAVE"});
}

}  // namespace
