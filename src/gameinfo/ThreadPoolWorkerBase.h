#pragma once
// A job for the ThreadPool. The pool owns an item from the moment it is
// queued and deletes it right after Run returns (or unrun, at shutdown).

class ThreadPoolWorkerBase {
public:
    ThreadPoolWorkerBase() = default;
    ThreadPoolWorkerBase(const ThreadPoolWorkerBase&) = delete;
    ThreadPoolWorkerBase& operator=(const ThreadPoolWorkerBase&) = delete;
    virtual ~ThreadPoolWorkerBase() = default;
    // Runs on the pool's thread. A long job should look at the pool's
    // Stopping() flag where it waits, so that shutdown need not wait for it.
    virtual void Run() = 0;
};
