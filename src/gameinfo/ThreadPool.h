#pragma once
// One background thread that runs work items one at a time, in the order they
// were queued. Closing the program must not wait for slow jobs: at shutdown
// the items not yet started are deleted unrun, and the running one is told to
// stop through Stopping() (a download checks it and gives up within a second).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "gameinfo/ThreadPoolWorkerBase.h"

class ThreadPool {
public:
    ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;
    // Shutdown().
    virtual ~ThreadPool();

    // From any thread. After Shutdown the item is deleted at once, unrun.
    void Queue(std::unique_ptr<ThreadPoolWorkerBase> item);
    // Drops the queued items, raises Stopping() for the running one and waits
    // for the thread to end. Safe to call more than once.
    void Shutdown();

    // Raised by Shutdown; the running item polls it (its address may be handed
    // to code that polls, such as a download).
    const std::atomic<bool>& Stopping() const { return stopping; }
    // Items queued and not yet finished (run or dropped).
    uint32_t Pending() const;
    // Blocks until no item is pending.
    void WaitUntilIdle();

private:
    void Work();
    void Finished(uint32_t count);

    mutable std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::unique_ptr<ThreadPoolWorkerBase>> queue;
    uint32_t pending = 0;
    std::atomic<bool> stopping{false};
    std::thread worker;
};
