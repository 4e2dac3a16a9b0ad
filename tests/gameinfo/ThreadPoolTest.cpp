#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "gameinfo/ThreadPool.h"

namespace {

// What the items did, in the order they did it, from the pool's thread and the test's.
struct Journal {
    std::mutex lock;
    std::vector<std::string> events;
    std::atomic<int> running{0};
    std::atomic<bool> overlapped{false};

    void Add(const std::string& event)
    {
        const std::lock_guard<std::mutex> hold(lock);
        events.push_back(event);
    }
    std::vector<std::string> Events()
    {
        const std::lock_guard<std::mutex> hold(lock);
        return events;
    }
};

class Item : public ThreadPoolWorkerBase {
public:
    enum class Kind { Quick, Throws, WaitsForStop };
    Item(Journal& itsJournal, int itsNumber, Kind itsKind = Kind::Quick, const ThreadPool* itsPool = nullptr)
        : journal(itsJournal), number(itsNumber), kind(itsKind), pool(itsPool)
    {
    }
    ~Item() override { journal.Add("delete " + std::to_string(number)); }
    void Run() override
    {
        journal.overlapped = journal.overlapped || journal.running.fetch_add(1) != 0;
        journal.Add("run " + std::to_string(number));
        while (kind == Kind::WaitsForStop && !pool->Stopping()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        --journal.running;
        if (kind == Kind::Throws) {
            throw std::runtime_error("item failed");
        }
    }

private:
    Journal& journal;
    int number;
    Kind kind;
    const ThreadPool* pool;
};

TEST(ThreadPool, ItemsRunInQueueOrderOneAtATimeEachDeletedRightAfterItRanAndAThrowingOneIsNoStop)
{
    Journal journal;
    std::vector<std::string> expected;
    ThreadPool pool;
    for (int i = 0; i < 10; ++i) {
        pool.Queue(std::make_unique<Item>(journal, i, i == 3 ? Item::Kind::Throws : Item::Kind::Quick));
        expected.insert(expected.end(), {"run " + std::to_string(i), "delete " + std::to_string(i)});
    }
    pool.WaitUntilIdle();
    EXPECT_EQ(pool.Pending(), 0u);
    EXPECT_EQ(journal.Events(), expected);
    EXPECT_FALSE(journal.overlapped);
}

TEST(ThreadPool, ShutdownDeletesQueuedItemsUnrunAndTellsTheRunningOneToStop)
{
    Journal journal;
    ThreadPool pool;
    pool.Queue(std::make_unique<Item>(journal, 0, Item::Kind::WaitsForStop, &pool));
    for (int i = 1; i < 5; ++i) {
        pool.Queue(std::make_unique<Item>(journal, i));
    }
    while (journal.Events().empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(pool.Pending(), 5u);
    pool.Shutdown();
    pool.Queue(std::make_unique<Item>(journal, 5));  // too late: deleted unrun
    pool.Shutdown();

    std::vector<std::string> events = journal.Events();
    EXPECT_EQ(events.front(), "run 0");
    std::sort(events.begin(), events.end());
    EXPECT_EQ(events, (std::vector<std::string>{"delete 0", "delete 1", "delete 2", "delete 3", "delete 4", "delete 5",
                                                "run 0"}));
    EXPECT_EQ(pool.Pending(), 0u);
}

}  // namespace
