#include "gameinfo/ThreadPool.h"

#include <exception>
#include <string>

#include "common/Log.h"

ThreadPool::ThreadPool() : worker([this] { Work(); }) {}

ThreadPool::~ThreadPool() { Shutdown(); }

void ThreadPool::Queue(std::unique_ptr<ThreadPoolWorkerBase> item)
{
    {
        const std::lock_guard<std::mutex> hold(lock);
        if (stopping) {
            return;  // the item goes with this frame, unrun
        }
        queue.push_back(std::move(item));
        ++pending;
    }
    wake.notify_one();
}

void ThreadPool::Shutdown()
{
    std::deque<std::unique_ptr<ThreadPoolWorkerBase>> dropped;
    {
        const std::lock_guard<std::mutex> hold(lock);
        stopping = true;
        dropped.swap(queue);
    }
    wake.notify_all();
    // Deleted outside the lock: an item's destructor is the item's business.
    const auto count = static_cast<uint32_t>(dropped.size());
    dropped.clear();
    Finished(count);
    if (worker.joinable() && worker.get_id() != std::this_thread::get_id()) {
        worker.join();
    }
}

uint32_t ThreadPool::Pending() const
{
    const std::lock_guard<std::mutex> hold(lock);
    return pending;
}

void ThreadPool::WaitUntilIdle()
{
    std::unique_lock<std::mutex> hold(lock);
    idle.wait(hold, [this] { return pending == 0; });
}

void ThreadPool::Work()
{
    for (;;) {
        std::unique_ptr<ThreadPoolWorkerBase> item;
        {
            std::unique_lock<std::mutex> hold(lock);
            wake.wait(hold, [this] { return stopping || !queue.empty(); });
            if (stopping) {
                return;
            }
            item = std::move(queue.front());
            queue.pop_front();
        }
        // Nothing above this thread could catch it: one failed job must not end the program.
        try {
            item->Run();
        } catch (const std::exception& exception) {
            Log(std::string("ThreadPool::Work() : 作業中に例外が発生しました : ") + exception.what());
        } catch (...) {
            Log("ThreadPool::Work() : 作業中に例外が発生しました");
        }
        item.reset();
        Finished(1);
    }
}

void ThreadPool::Finished(uint32_t count)
{
    if (count == 0) {
        return;
    }
    const std::lock_guard<std::mutex> hold(lock);
    pending -= count;
    if (pending == 0) {
        idle.notify_all();
    }
}
