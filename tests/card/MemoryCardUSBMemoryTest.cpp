#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "TestSupport.h"
#include "card/MemoryCardOwner.h"
#include "card/MemoryCardUSBMemory.h"
#include "common/DriveType.h"
#include "common/FileHelpers.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

struct FakeOwner : MemoryCardOwner {
    std::string usbFolder;
    std::string GetSlotText() const override { return "1"; }
    std::string GetEditText(Edit edit) const override { return edit == Edit::UsbFolder ? usbFolder : std::string(); }
    bool IsOptionChecked(Option) const override { return false; }
};

// Each entry as "<name> <d or -><owner, group, other mode digits> <size>", such as "SAVE d0 0".
Names Describe(const std::vector<FtpClient::FILE_DATA>& entries)
{
    Names lines;
    for (const auto& e : entries) {
        const int mode = e.ownerMode * 100 + e.groupMode * 10 + e.otherMode;
        lines.push_back(e.name + (e.isDirectory ? " d" : " -") + std::to_string(mode) + " " + std::to_string(e.size));
    }
    return lines;
}

std::set<std::string> Tree(const std::string& folder)
{
    std::set<std::string> tree;
    for (const auto& item : fs::recursive_directory_iterator(folder)) {
        const std::string path = item.path().lexically_relative(folder).string();
        tree.insert(item.is_regular_file() ? path + "=" + ReadText(item.path()) : path + "/");
    }
    return tree;
}

// base/card is the card folder; base/pc, the PC folder, is the current directory Put and Get use.
class USBMemoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteText(card + "SAVE/data", "card");
        WriteText(pc + "data", "pc");
        fs::current_path(pc);
        owner.usbFolder = base / "card";
        SetRemovableDriveProbe([this](const std::string& path) { return probed.push_back(path), removable; });
    }
    void TearDown() override
    {
        SetRemovableDriveProbe(nullptr);
        fs::current_path(previous);
    }

    const fs::path previous = fs::current_path();
    TempDir base;
    const std::string card = base / "card/";
    const std::string pc = base / "pc/";
    FakeOwner owner;
    bool removable = true;
    Names probed;
};

TEST_F(USBMemoryTest, ConnectsOnceToAnAbsoluteFolderOnARemovableDrive)
{
    MemoryCardUSBMemory yes(&owner);
    owner.usbFolder = card;
    MemoryCardUSBMemory slashed(&owner);
    EXPECT_EQ(probed, (Names{card, card}));  // exactly one trailing slash
    EXPECT_EQ(yes.slotMask, 1u);
    removable = false;
    EXPECT_FALSE(MemoryCardUSBMemory(&owner).IsConnected());

    // An empty folder would end up as "/", a relative one would follow the current directory.
    WriteText(pc + "card/file", "");
    for (const char* folder : {"", "card"}) {
        owner.usbFolder = folder;
        MemoryCardUSBMemory unusable(&owner);
        EXPECT_TRUE(unusable.List().empty() && unusable.lastListFailed) << folder;
    }

    // The connection is decided once; the folder edit is read again at every operation.
    const std::string other = base / "other/";
    WriteText(other + "MOVED/file", "");
    owner.usbFolder = other;
    EXPECT_EQ(Describe(yes.List()), Names{"MOVED d0 0"});
    EXPECT_FALSE(yes.lastListFailed);
    ASSERT_TRUE(yes.SetCurrentDirectory("MOVED"));
    fs::remove(other + "MOVED/file");
    EXPECT_TRUE(yes.List().empty() && !yes.lastListFailed);  // empty is no failure
    ASSERT_TRUE(yes.SetCurrentDirectory(""));
    EXPECT_TRUE(yes.MakeDirectory("MADE"));
    EXPECT_TRUE(IsDirectory(other + "MADE"));
}

TEST_F(USBMemoryTest, CopiesReplaceTheOtherSideAndUnsafeOrFailedCallsChangeNothing)
{
    MemoryCardUSBMemory memory(&owner);
    ASSERT_TRUE(memory.SetCurrentDirectory("SAVE"));
    ASSERT_TRUE(memory.Put("data"));
    EXPECT_EQ(ReadText(card + "SAVE/data"), "pc");
    WriteText(card + "SAVE/data", "changed on card");
    ASSERT_TRUE(memory.Get("data"));  // no temporary copies left on either side:
    EXPECT_EQ(Tree(base.path()), (std::set<std::string>{"card/", "card/SAVE/", "card/SAVE/data=changed on card", "pc/",
                                                         "pc/data=changed on card"}));

    fs::create_directories(card + "SAVE/folder");
    WriteText(pc + "folder", "pc");
    WriteText(base / "outside", "keep");
    fs::remove(pc + "data");
    const auto before = Tree(base.path());
    EXPECT_FALSE(memory.Put("data") || memory.Put("folder") || memory.Get("folder") || memory.Get("missing") ||
                 memory.RemoveDirectory("SAVE"));  // directories are named from the card root; SAVE is not empty
    const std::string unsafe[] = {"", ".", "..", "../outside", "SAVE/../..", "a/b", std::string("data\0y", 6)};
    for (const auto& name : unsafe) {
        EXPECT_TRUE(name.empty() || !memory.SetCurrentDirectory(name)) << name;
        EXPECT_FALSE(memory.Remove(name) || memory.Put(name) || memory.Get(name) || memory.MakeDirectory(name) ||
                     memory.RemoveDirectory(name)) << name;
    }
    EXPECT_EQ(Tree(base.path()), before);
    EXPECT_EQ(Describe(memory.List()), (Names{"data -777 15", "folder d0 0"}));  // still inside SAVE
}

// A card folder made by someone else: links lead out of it and pipes never
// answer. Nothing is entered, read, written or removed through a link, and no
// pipe is ever waited on, on the card or on the PC.
TEST_F(USBMemoryTest, LinksAreNeverFollowedAndPipesNeverWaitedOn)
{
    fs::create_directories(base / "program");
    ScopedProgramDirectory program(base / "program/");
    WriteText(base / "outside/document", "keep");
    WriteText(base / "secret", "secret");
    fs::create_directory_symlink(base / "outside", card + "LINKED");
    fs::create_symlink(base / "secret", card + "SAVE/link");
    fs::create_symlink(base / "secret", pc + "link");
    const PipeTrap rootPipe(card + "PIPE"), savePipe(card + "SAVE/pipe"), pcPipe(pc + "pipe");
    fs::current_path(pc);
    MemoryCardUSBMemory memory(&owner);

    EXPECT_EQ(Describe(memory.List()), (Names{"LINKED -0 0", "PIPE -0 0", "SAVE d0 0"}));
    EXPECT_FALSE(memory.SetCurrentDirectory("LINKED") || memory.Get("LINKED") || memory.Get("PIPE") ||
                 memory.RemoveDirectory("LINKED"));
    ASSERT_TRUE(memory.SetCurrentDirectory("SAVE"));
    EXPECT_EQ(Describe(memory.List()), (Names{"data -777 4", "link -0 0", "pipe -0 0"}));
    EXPECT_FALSE(memory.Get("link") || memory.Get("pipe") || memory.Put("link") || memory.Put("pipe"));
    EXPECT_TRUE(fs::is_symlink(card + "SAVE/link") && fs::is_symlink(pc + "link"));

    // The save entered is swapped for a link: nothing goes through it.
    fs::rename(card + "SAVE", base / "SAVE");
    fs::create_directory_symlink(base / "outside", card + "SAVE");
    EXPECT_TRUE(memory.List().empty() && memory.lastListFailed);
    EXPECT_FALSE(memory.Remove("document") || memory.Get("document") || memory.Put("data"));
    EXPECT_EQ(Tree(base / "outside/"), std::set<std::string>{"document=keep"});
    EXPECT_FALSE(fs::exists(pc + "document"));
    EXPECT_FALSE(rootPipe.Sprung() || savePipe.Sprung() || pcPipe.Sprung());

    const std::string log = ReadText(base / "program/log.txt");
    for (const char* line : {"エラー : シンボリックリンクには入りません MemoryCardUSBMemory::SetCurrentDirectory() LINKED",
                             "エラー : シンボリックリンクはたどりません MemoryCardUSBMemory::Get() LINKED",
                             "エラー : 通常のファイルではないため開きませんでした MemoryCardUSBMemory::Get() PIPE",
                             "エラー : シンボリックリンクはたどりません MemoryCardUSBMemory::Put() link",
                             "エラー : 通常のファイルではないため開きませんでした MemoryCardUSBMemory::Put() pipe",
                             "エラー : シンボリックリンクには入りません MemoryCardUSBMemory::Remove() SAVE"}) {
        EXPECT_NE(log.find(line), std::string::npos) << line;
    }
}

}  // namespace
