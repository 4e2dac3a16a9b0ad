// The window's commands on the controller's worker thread: one at a time,
// refused (never queued) while busy, and stopped by Cancel between saves.
// Also run under ThreadSanitizer by scripts/test.
#include <atomic>
#include <filesystem>
#include <future>

#include "ControlTestFixture.h"
#include "control/CommandWorker.h"

namespace fs = std::filesystem;

namespace {

class CommandCancelTest : public ControlTest {};

TEST_F(CommandCancelTest, CancelStopsACopyBetweenSavesAndKeepsEveryCopyWhole)
{
    for (int i = 0; i < 40; ++i) {
        WriteBytes(cardFolder + "SAVE" + std::to_string(100 + i) + "/data", std::vector<uint8_t>(50000, static_cast<uint8_t>(i)));
    }
    StartConnected();
    view.TickAll(ListSide::PS2, true);
    std::promise<void> done;
    ASSERT_TRUE(control->RunCommand([this] { control->OnMoveToPC(); }, [&] { done.set_value(); }));
    std::atomic<bool> secondRan{false};
    EXPECT_FALSE(control->RunCommand([&] { secondRan = true; }, nullptr));  // refused, never queued
    control->Cancel();
    done.get_future().wait();
    EXPECT_FALSE(secondRan);
    int copied = 0;
    for (int i = 0; i < 40; ++i) {
        const std::string name = "SAVE" + std::to_string(100 + i);
        EXPECT_TRUE(fs::exists(cardFolder + name + "/data")) << name;  // a cancelled move deletes no source
        if (fs::exists(pcFolder + name)) {
            ++copied;
            EXPECT_EQ(ReadBytes(pcFolder + name + "/data"), std::vector<uint8_t>(50000, static_cast<uint8_t>(i))) << name;
        }
    }
    EXPECT_LT(copied, 40);
}

}  // namespace
