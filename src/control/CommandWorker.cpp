#include "control/CommandWorker.h"

#include <exception>
#include <utility>

#include "common/Log.h"

CommandWorker::CommandWorker() : thread(&CommandWorker::Loop, this) {}

CommandWorker::~CommandWorker()
{
    {
        const std::lock_guard guard(mutex);
        stopping = true;
    }
    wake.notify_all();
    thread.join();
}

bool CommandWorker::Post(std::function<void()> newCommand, std::function<void()> newDone)
{
    {
        const std::lock_guard guard(mutex);
        if (busy || stopping) {
            return false;
        }
        busy = true;
        command = std::move(newCommand);
        done = std::move(newDone);
    }
    wake.notify_all();
    return true;
}

bool CommandWorker::Busy() const
{
    const std::lock_guard guard(mutex);
    return busy;
}

void CommandWorker::Loop()
{
    std::unique_lock lock(mutex);
    while (true) {
        wake.wait(lock, [this] { return stopping || command; });
        if (!command) {
            return;
        }
        std::function<void()> running = std::move(command);
        std::function<void()> finished = std::move(done);
        command = nullptr;
        done = nullptr;
        lock.unlock();
        // A command that throws ends as a logged failure; the thread and the window go on.
        try {
            running();
        } catch (const std::exception& error) {
            Log(std::string("エラー : 処理を中断しました ") + error.what());
        }
        running = nullptr;
        // Free before done says so: the window may post the next command the
        // moment it hears, and a refusal then would drop the user's click.
        lock.lock();
        busy = false;
        lock.unlock();
        if (finished) {
            finished();
        }
        lock.lock();
    }
}
