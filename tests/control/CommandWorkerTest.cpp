// The window's commands on the controller's worker thread: one at a time,
// refused (never queued) while busy, and stopped by Cancel between saves.
// Also run under ThreadSanitizer by scripts/test.
#include <filesystem>
#include <future>

#include "ControlTestFixture.h"
#include "control/CommandWorker.h"

namespace fs = std::filesystem;

namespace {

TEST(CommandWorker, RunsOneCommandAtATimeAndRefusesASecond)
{
    CommandWorker worker;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::promise<std::thread::id> ranOn;
    std::promise<void> finished;
    ASSERT_TRUE(worker.Post([&] { ranOn.set_value(std::this_thread::get_id()); released.wait(); },
                            [&] { finished.set_value(); }));
    EXPECT_NE(ranOn.get_future().get(), std::this_thread::get_id());
    EXPECT_TRUE(worker.Busy());
    bool secondRan = false;
    EXPECT_FALSE(worker.Post([&] { secondRan = true; }, nullptr));
    release.set_value();
    finished.get_future().wait();
    EXPECT_FALSE(secondRan);
    // Told it is done, the window may post the next command at once.
    std::promise<bool> busyWhenDone;
    EXPECT_TRUE(worker.Post([] {}, [&] { busyWhenDone.set_value(worker.Busy()); }));
    EXPECT_FALSE(busyWhenDone.get_future().get());
    std::promise<void> third;
    EXPECT_TRUE(worker.Post([] {}, [&] { third.set_value(); }));
    third.get_future().wait();
}

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
    EXPECT_FALSE(control->RunCommand([] {}, nullptr));
    control->Cancel();
    done.get_future().wait();
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
