#include <gtest/gtest.h>

#include "TestSupport.h"
#include "card/MemoryCardFactory.h"
#include "card/MemoryCardOwner.h"
#include "card/MemoryCardUSBMemory.h"
#include "common/DriveType.h"
#include "common/FileHelpers.h"

namespace {

class FolderOwner : public MemoryCardOwner {
public:
    explicit FolderOwner(std::string usbFolder) : folder(std::move(usbFolder)) {}
    std::string GetSlotText() const override { return "0"; }
    std::string GetEditText(Edit edit) const override { return edit == Edit::UsbFolder ? folder : std::string(); }
    bool IsOptionChecked(Option) const override { return false; }

private:
    std::string folder;
};

class FactoryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteText(dir / "SAVE/icon.sys", "x");
        SetRemovableDriveProbe([](const std::string&) { return true; });
    }
    void TearDown() override { SetRemovableDriveProbe(nullptr); }

    TempDir dir;
    FolderOwner owner{dir.path()};
};

void ExpectDead(MemoryCard& card)
{
    EXPECT_FALSE(card.IsConnected());
    EXPECT_EQ(card.slotMask, 0u);
    EXPECT_FALSE(card.SetCurrentDirectory(""));
    EXPECT_FALSE(card.SetCurrentDirectory("SAVE"));
    EXPECT_TRUE(card.List().empty());
    EXPECT_FALSE(card.Remove("icon.sys"));
    EXPECT_FALSE(card.Put("icon.sys"));
    EXPECT_FALSE(card.Get("icon.sys"));
    EXPECT_FALSE(card.MakeDirectory("NEW"));
    EXPECT_FALSE(card.RemoveDirectory("SAVE"));
}

TEST_F(FactoryTest, UnknownKindsAndTheNullBackendNeverConnect)
{
    for (const auto& card : {CreateMemoryCard(&owner, 3, "127.0.0.1"), CreateMemoryCard(&owner, -1, ""),
                             CreateNullMemoryCard(&owner)}) {
        ASSERT_NE(card, nullptr);
        ExpectDead(*card);
    }
    // The folder was not touched by any of them.
    EXPECT_TRUE(IsDirectory(dir / "SAVE"));
    EXPECT_FALSE(IsDirectory(dir / "NEW"));
}

TEST_F(FactoryTest, FolderKindMakesAConnectedFolderBackend)
{
    const auto card = CreateMemoryCard(&owner, kMemoryCardUSBMemory, "");
    ASSERT_NE(dynamic_cast<MemoryCardUSBMemory*>(card.get()), nullptr);
    EXPECT_TRUE(card->IsConnected());
    EXPECT_EQ(card->slotMask, 1u);
    EXPECT_EQ(card->List().size(), 1u);

    const auto orphan = CreateMemoryCard(nullptr, kMemoryCardUSBMemory, "");
    EXPECT_FALSE(orphan->IsConnected());
    EXPECT_TRUE(orphan->List().empty());
}

}  // namespace
