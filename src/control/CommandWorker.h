#pragma once
// The one thread the window's commands run on, so that the window's own
// thread never waits for a card, a file or a server. One command at a time:
// while one runs, another is refused, never queued behind it.
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class CommandWorker {
public:
    CommandWorker();
    // Lets the running command finish (callers cancel it first), then ends the thread.
    ~CommandWorker();
    CommandWorker(const CommandWorker&) = delete;
    CommandWorker& operator=(const CommandWorker&) = delete;

    // Runs command, then done, on the worker's thread; by the time done runs
    // the worker takes the next command. False, and nothing runs, while
    // another command has not finished.
    bool Post(std::function<void()> command, std::function<void()> done);
    bool Busy() const;

private:
    void Loop();

    mutable std::mutex mutex;
    std::condition_variable wake;
    std::function<void()> command;
    std::function<void()> done;
    bool busy = false;
    bool stopping = false;
    std::thread thread;
};
