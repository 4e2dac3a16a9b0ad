// Run under ThreadSanitizer by scripts/test: the window's thread and the
// rendering thread share the renderer as the program does.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "IconTestSupport.h"
#include "icon/IconRenderingManager.h"
#include "support/TestSupport.h"

namespace {

TEST(IconRendererThreads, WindowThreadShowsAddsTogglesAndDestroys)
{
    TempDir temp;
    ScopedProgramDirectory programDirectory(temp.path());
    std::filesystem::create_directories(temp / "A");
    const std::string a = WritePs2Save(temp / "A/", SyntheticIconModel());
    WriteBytes(temp / "B/icon.sys", MakeIconSys("B", 0, "missing.ico"));
    WriteBytes(temp / "C.ps1", MakePlainPS1Save({4, 8}));
    WriteBytes(temp / "D.ps1", MakePlainPS1Save({12}));

    FakeOwner owner;
    auto waitForFrame = [&owner] { ASSERT_TRUE(owner.WaitForFramesAfter(owner.FrameCount())); };
    // Destroyed before its thread was ever started.
    IconRenderingManager(&owner, kPaneSize, kPaneSize).AddIcon("C.ps1", temp / "C.ps1", false);
    for (int round = 0; round < 3; ++round) {
        owner.shown = true;
        IconRenderingManager manager(&owner, kPaneSize, kPaneSize);
        manager.AddIcon("C.ps1", temp / "C.ps1", false);
        for (int pass = 0; pass < 4; ++pass) {
            manager.ShowIcon("A", a);
            waitForFrame();
            manager.ShowIcon("C.ps1", "");
            waitForFrame();
            owner.shown = false;
            manager.ShowIcon("D.ps1", "");
            manager.AddIcon("D.ps1", temp / "D.ps1", false);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            owner.shown = true;
            manager.ShowIcon("D.ps1", "");
            waitForFrame();
            // Not ready: the rendering thread pauses inside Render while holding the lock.
            manager.ShowIcon("B", temp / "B/icon.sys");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            manager.ShowIcon("A", "");
            waitForFrame();
        }
        // Destroyed while drawing, while paused on an object with nothing to draw, and with the box unticked.
        if (round == 1) {
            manager.ShowIcon("B", "");
        } else if (round == 2) {
            owner.shown = false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the thread pauses, hidden
        }
    }
}

}  // namespace
