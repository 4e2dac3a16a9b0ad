#pragma once
// Holds an exclusive lock on the program directory while a command runs.
// Card listings stage "icon.sys" and PS1 saves there under fixed names, so two
// command-line runs at once (scripts, parallel test runs) would read each
// other's files. Best effort: where the lock cannot be taken, the run goes on.
class ProgramDirectoryLock {
public:
    ProgramDirectoryLock();
    ~ProgramDirectoryLock();
    ProgramDirectoryLock(const ProgramDirectoryLock&) = delete;
    ProgramDirectoryLock& operator=(const ProgramDirectoryLock&) = delete;

private:
    int descriptor = -1;
};
