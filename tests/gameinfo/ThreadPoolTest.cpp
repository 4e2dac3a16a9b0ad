#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "gameinfo/ThreadPool.h"

namespace {

// What the items did, in the order they did it.
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
    size_t Count()
    {
        const std::lock_guard<std::mutex> hold(lock);
        return events.size();
    }
};

class Item : public ThreadPoolWorkerBase {
public:
    Item(Journal& itsJournal, int n, std::function<void()> itsWork = [] {})
        : journal(itsJournal), name(std::to_string(n)), work(std::move(itsWork))
    {
    }
    ~Item() override { journal.Add("delete " + name); }
    void Run() override
    {
        journal.overlapped = journal.overlapped || journal.running.fetch_add(1) != 0;
        journal.Add("run " + name);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        --journal.running;
        work();
    }

private:
    Journal& journal;
    std::string name;
    std::function<void()> work;
};

TEST(ThreadPool, ItemsRunInQueueOrderOneAtATimeEachDeletedRightAfterItRanAndAThrowingOneIsNoStop)
{
    Journal journal;
    std::vector<std::string> expected;
    ThreadPool pool;
    for (int i = 0; i < 10; ++i) {
        pool.Queue(std::make_unique<Item>(journal, i, [i] { i == 3 ? throw std::runtime_error("failed") : void(); }));
        expected.insert(expected.end(), {"run " + std::to_string(i), "delete " + std::to_string(i)});
    }
    pool.WaitUntilIdle();
    EXPECT_EQ(journal.events, expected);
    EXPECT_FALSE(journal.overlapped);
}

TEST(ThreadPool, ShutdownDeletesQueuedItemsUnrunAndTellsTheRunningOneToStop)
{
    Journal journal;
    ThreadPool pool;
    for (int i = 0; i < 5; ++i) {
        pool.Queue(std::make_unique<Item>(journal, i, [&pool] {
            while (!pool.Stopping()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }));
    }
    while (journal.Count() == 0) {
        std::this_thread::yield();
    }
    pool.Shutdown();
    pool.Queue(std::make_unique<Item>(journal, 5));  // too late: deleted unrun
    std::sort(journal.events.begin(), journal.events.end());
    EXPECT_EQ(journal.events, (std::vector<std::string>{"delete 0", "delete 1", "delete 2", "delete 3", "delete 4",
                                                        "delete 5", "run 0"}));
    EXPECT_EQ(pool.Pending(), 0u);
}

}  // namespace
