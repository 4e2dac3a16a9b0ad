#pragma once
// The program directory's staging files (icon.sys and PS1 saves read from a
// card, PS2Link's transfers) have fixed names: two runs of the program staging
// at once would read each other's files. Whoever stages holds this lock: the
// command line for its whole run, the window for each command. Nested locks in
// one process share the first.
#include <chrono>

class StagingLock {
public:
    static constexpr std::chrono::milliseconds kDefaultWait{5000};

    // Waits at most `wait` for another process to let go; then gives up with a
    // log line naming that process. Where no lock file can be made (a
    // read-only program directory) the lock counts as held.
    explicit StagingLock(std::chrono::milliseconds wait = kDefaultWait);
    ~StagingLock();
    StagingLock(const StagingLock&) = delete;
    StagingLock& operator=(const StagingLock&) = delete;

    bool Held() const { return held; }

private:
    bool held = false;
};
