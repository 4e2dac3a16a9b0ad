#include "icon/IconRenderingManager.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "IconTestSupport.h"
#include "icon/IconObjectPS2.h"
#include "support/TestSupport.h"

namespace {

class IconRenderingManagerTest : public ::testing::Test {
protected:
    std::string PS1Save(const std::string& name, uint8_t level)
    {
        WriteBytes(temp / name, MakePlainPS1Save({level}));
        return temp / name;
    }
    std::string PS2Save(const std::string& name)
    {
        std::filesystem::create_directories(temp / name);
        return WritePs2Save(temp / (name + "/"), SyntheticIconModel());
    }
    uint32_t NextCentre()  // of the next frame presented
    {
        EXPECT_TRUE(owner.WaitForFramesAfter(owner.FrameCount()));
        return PixelAt(owner.LastFrame(), kPaneSize / 2, kPaneSize / 2);
    }

    TempDir temp;
    ScopedProgramDirectory programDirectory{temp.path()};
    FakeOwner owner;  // outlives every renderer of a test
};

TEST_F(IconRenderingManagerTest, UntickedBoxChangesNothing)
{
    const std::string save = PS2Save("A");
    IconRenderingManager manager(&owner, kPaneSize, kPaneSize);
    owner.shown = false;
    manager.ShowIcon("A", save);
    EXPECT_FALSE(manager.IsCached("A"));
    EXPECT_EQ(manager.Current(), nullptr);
    EXPECT_FALSE(manager.IsRunning());

    owner.shown = true;
    manager.ShowIcon("A", save);
    ASSERT_TRUE(manager.IsCached("A"));
    EXPECT_EQ(manager.Current(), manager.icons.at("A"));
    EXPECT_TRUE(manager.IsRunning());
}

TEST_F(IconRenderingManagerTest, TickingTheBoxAgainShowsTheIconShownBefore)
{
    IconRenderingManager manager(&owner, kPaneSize, kPaneSize);
    const auto a = manager.AddIcon("A.ps1", PS1Save("A.ps1", 5), false);
    manager.ShowIcon("A.ps1", "");
    EXPECT_EQ(NextCentre(), PlainPS1Colour(5));
    owner.shown = false;
    const auto b = manager.AddIcon("B.ps1", PS1Save("B.ps1", 12), false);
    manager.ShowIcon("B.ps1", "");
    EXPECT_EQ(manager.Current(), a);
    owner.shown = true;
    EXPECT_EQ(NextCentre(), PlainPS1Colour(5));
    manager.ShowIcon("B.ps1", "");
    EXPECT_EQ(manager.Current(), b);
    NextCentre();  // a frame may have been under way when B became current
    EXPECT_EQ(NextCentre(), PlainPS1Colour(12));
}

TEST_F(IconRenderingManagerTest, CachedObjectsAreNeverReplaced)
{
    IconRenderingManager manager(&owner, kPaneSize, kPaneSize);
    manager.ShowIcon("A", PS2Save("A"));
    const auto shown = manager.Current();
    // The files may go as soon as ShowIcon returns; the second showing uses the cache.
    std::filesystem::remove_all(temp / "A");
    manager.ShowIcon("A", "");
    EXPECT_EQ(manager.Current(), shown);
    // One key space: an existing entry stays, whatever kind or path is added under its key.
    EXPECT_EQ(manager.AddIcon("A", PS1Save("other", 3), false), shown);
    EXPECT_EQ(manager.icons.size(), 1u);
    // A save first shown without its model stays without an icon, even once the model is there.
    WriteBytes(temp / "late/icon.sys", MakeIconSys("LATE", 0, "icon.ico"));
    manager.ShowIcon("late", temp / "late/icon.sys");
    const auto late = manager.Current();
    WriteBytes(temp / "late/icon.ico", SyntheticIconModel());
    manager.ShowIcon("late", temp / "late/icon.sys");
    EXPECT_EQ(manager.Current(), late);
    EXPECT_FALSE(std::dynamic_pointer_cast<IconObjectPS2>(late)->IsReady());
}

TEST_F(IconRenderingManagerTest, PaneWithoutPixelsLeavesTheRendererInert)
{
    IconRenderingManager manager(&owner, 0, kPaneSize);
    EXPECT_EQ(manager.AddIcon("A.ps1", PS1Save("A.ps1", 5), false), nullptr);
    manager.ShowIcon("A", PS2Save("A"));
    EXPECT_EQ(manager.Current(), nullptr);
    EXPECT_NE(ReadText(temp / "log.txt").find("IconRenderingManager::IconRenderingManager() : Direct3Dデバイスの作成に失敗しました"),
              std::string::npos);
}

}  // namespace
